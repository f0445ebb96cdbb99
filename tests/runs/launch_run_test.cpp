// The updater from start to end on the POSIX platform: an executable file
// with its archive appended, an installation in a temporary folder, a
// registry file, stand-in windows and scripted wizard presses and answers.
// Each case checks the messages in order, the exit code, the wizard that
// opened and the files afterwards.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "entry/updater_main.h"
#include "platform/posix/desktop_standin.h"
#include "platform/posix/posix_functions.h"
#include "platform/posix/terminal_dialog.h"
#include "platform/posix/window_search.h"
#include "tests/support/test_platform.h"
#include "tests/support/test_updater_file.h"
#include "wizard/wizard_controls.h"

namespace {

// ---- The release: UPDATE.INI, its archive, the installation ----

const char kUpdateSetup[] =
    "CompanyName=ExampleSoft\r\n"
    "GameTitle=星の旅路\r\n"
    "GameClass=UpdateIniClass\r\n"
    "GameDir=StarJourney\r\n"
    "UpdaterVersion=Ver1.01\r\n";
const char kUpdateSection[] = "[UPDATE]\r\nUpdateFile00=game.exe\r\n";

// The installation's own identity differs from UPDATE.INI's: the caption,
// the running-game test and the wizard use these.
const char kSetupIni[] =
    "[SETUP]\r\n"
    "CompanyName=ExampleSoft\r\n"
    "GameTitle=星の旅路DX\r\n"
    "GameDir=StarJourney\r\n"
    "GameExe=game.exe\r\n"
    "UninstExe=uninst.exe\r\n"
    "SetupBmp=setup1.bmp\r\n"
    "InstallSelects=0\r\n"
    "Shortcuts=0\r\n"
    "GameClass=StarJourneyWnd\r\n";

const char kInstPath[] = "C:\\\\Games\\\\Star";
std::string Registry(const std::string& values) {
  return "Windows Registry Editor Version 5.00\r\n\r\n"
         "[HKEY_CURRENT_USER\\Software\\ExampleSoft\\StarJourney]\r\n" +
         values;
}
const std::string kRegistry = Registry(std::string("\"InstPath\"=\"") + kInstPath +
                                       "\"\r\n\"DataPath\"=\"C:\\\\Save\"\r\n"
                                       "\"InstMode\"=dword:00000001\r\n");

const char kCaption[] = "星の旅路DX アップデータ Ver1.01";
const char kNotInstalled[] = "「星の旅路」がインストールされていません";
const char kNoSetupIni[] = "インストール先に \"SETUP.INI\" ファイルが見つかりません";
const char kInterrupted[] = "アップデートが中断されました";
const char kWelcome[] = "「星の旅路DX」のアップデートを開始します";
const char kPrompt[] =
    "「%s」が実行中です。アップデートを続行する場合はゲームを終了してから [OK] "
    "を、アップデートを中止する場合は [キャンセル] を押して下さい";

std::string Prompt(const std::string& title) {
  std::string text = kPrompt;
  return text.replace(text.find("%s"), 2, title);
}

// ---- A case ----

enum class Desktop {
  kEmpty,
  kOtherUpdater,      // a dialog titled with the caption
  kGameClosesOnOk,    // the game's window, closed when the prompt is answered OK
  kGameStays,         // the game's window, never closed
  kGameAStays,        // a window titled GameTitleA
  kGameOfOtherClass,  // the game's title under another class
  kNoDialogs,         // the dialog cannot be created
};

struct Message {
  std::string caption;  // UTF-8
  std::string text;     // UTF-8
};

struct RunCase {
  std::string what;
  std::string setup = kUpdateSetup;  // [SETUP] of UPDATE.INI, without its header
  std::string update = kUpdateSection;
  std::vector<std::pair<std::string, std::string>> entries;  // further archive entries
  std::string registry = kRegistry;                          // empty: no registry file
  std::string setupIni = kSetupIni;                          // empty: no SETUP.INI
  Desktop desktop = Desktop::kEmpty;
  std::vector<int> answers;  // to OK/Cancel prompts
  std::vector<std::string> presses = {"next", "next", "next"};

  int exitCode = 1;
  std::vector<Message> messages;
  int templateId = 100;            // 0: no wizard
  std::string welcome = kWelcome;  // the info line of the first page
  bool updated = true;             // game.exe replaced
  std::string dataPath = "C:\\Save";
};

// What the wizard showed when it opened.
int openedTemplate = 0;
std::string openedWelcome;
win::DialogProc wizardProcedure = nullptr;

win::IntPtr WINAPI_CC WatchingProcedure(win::Hwnd window, win::Uint message, win::WParam first,
                                        win::LParam second) {
  win::IntPtr result = wizardProcedure(window, message, first, second);
  if (message == win::kWmInitDialog) openedWelcome = FindStandinControl(window, kIdInfo)->text;
  return result;
}

win::IntPtr WINAPI_CC WatchingDialogBox(win::Hmodule instance, const char* name, win::Hwnd owner,
                                        win::DialogProc procedure, win::LParam parameter) {
  openedTemplate = int(reinterpret_cast<uintptr_t>(name));
  wizardProcedure = procedure;
  return PosixDialogBoxParamA(instance, name, owner, WatchingProcedure, parameter);
}

win::IntPtr WINAPI_CC NoDialogBox(win::Hmodule, const char*, win::Hwnd, win::DialogProc,
                                  win::LParam) {
  return -1;
}

win::Hwnd gameWindow = nullptr;
bool closeGameOnOk = false;
void*(WINAPI_CC* realGlobalAlloc)(win::Uint, size_t) = nullptr;

int WINAPI_CC RecordAndAnswer(win::Hwnd owner, const char* text, const char* caption,
                              win::Uint type) {
  UpdaterTest::messages.push_back({text, caption, owner, type});
  int answer = win::kIdOk;
  if (!UpdaterTest::answers.empty()) {
    answer = UpdaterTest::answers.front();
    UpdaterTest::answers.erase(UpdaterTest::answers.begin());
  }
  if (answer == win::kIdOk && closeGameOnOk && gameWindow != nullptr) {
    DestroyStandinWindow(gameWindow);
    gameWindow = nullptr;
  }
  return answer;
}

class LaunchRun : public UpdaterTest, public ::testing::WithParamInterface<RunCase> {
 protected:
  void SetUp() override {
    UpdaterTest::SetUp();
    for (const char* folder : {"/tmp", "/Games", "/Games/Star"}) {
      ASSERT_EQ(0, mkdir((DriveC() + folder).c_str(), 0777));
    }
    setenv("TMPDIR", (DriveC() + "/tmp").c_str(), 1);
    setenv("UPDATER_REGISTRY", (DriveC() + "/user.reg").c_str(), 1);
    ResetStandinDesktop();
    SetStandinEchoStream(nullptr);
    ClearWizardInput();
    openedTemplate = 0;
    openedWelcome.clear();
    gameWindow = nullptr;
    closeGameOnOk = false;
    platform.MessageBoxA = RecordAndAnswer;
    platform.DialogBoxParamA = WatchingDialogBox;
  }
  void TearDown() override {
    // The agreement copies live as long as the process; the state is reset here.
    platform.GlobalFree(updaterState.agreementText);
    platform.GlobalFree(updaterState.agreementTitle);
    ClearWizardInput();
    ResetStandinDesktop();
    unsetenv("TMPDIR");
    unsetenv("UPDATER_REGISTRY");
    UpdaterTest::TearDown();
  }

  // The installation and the updater of a case; returns the updater module.
  win::Hmodule Prepare(const RunCase& c) {
    WriteHostFile(DriveC() + "/Games/Star/game.exe", "old game");
    if (!c.setupIni.empty()) WriteHostFile(DriveC() + "/Games/Star/SETUP.INI", Sjis(c.setupIni));
    if (!c.registry.empty()) WriteHostFile(DriveC() + "/user.reg", c.registry);
    answers = c.answers;
    QueueWizardInput(c.presses);
    std::vector<std::pair<std::string, std::string>> files = {
        {"UPDATE.INI", Sjis("[SETUP]\r\n" + c.setup + c.update)}, {"game.exe", "new game"}};
    for (const auto& entry : c.entries) files.push_back({Sjis(entry.first), Sjis(entry.second)});
    return ModuleWithArchive(DriveC() + "/UPDATE.EXE", ArchiveOf(files, 0x01D9000000000000ull));
  }

  void Arrange(Desktop desktop) {
    switch (desktop) {
      case Desktop::kOtherUpdater:
        other_ = CreateStandinDialog(Sjis(kCaption), {});
        platform.ShowWindow(other_, win::kSwHide);
        break;
      case Desktop::kGameClosesOnOk:
        closeGameOnOk = true;
        gameWindow = CreateStandinWindow("StarJourneyWnd", Sjis("星の旅路DX"));
        break;
      case Desktop::kGameStays:
        gameWindow = CreateStandinWindow("StarJourneyWnd", Sjis("星の旅路DX"));
        break;
      case Desktop::kGameAStays:
        gameWindow = CreateStandinWindow("StarJourneyWnd", Sjis("星の旅路 体験版"));
        break;
      case Desktop::kGameOfOtherClass:
        CreateStandinWindow("UpdateIniClass", Sjis("星の旅路DX"));
        break;
      case Desktop::kNoDialogs: platform.DialogBoxParamA = NoDialogBox; break;
      case Desktop::kEmpty: break;
    }
    if (gameWindow != nullptr) platform.ShowWindow(gameWindow, win::kSwHide);
  }

  win::Hwnd other_ = nullptr;
};

// For failure output: ASCII kept, other bytes as '?'.
std::string Printable(const std::string& cp932) {
  std::string text;
  for (unsigned char ch : cp932) text += ch < 0x80 ? char(ch) : '?';
  return text;
}

TEST_P(LaunchRun, EndsWithItsMessagesAndExitCode) {
  const RunCase& c = GetParam();
  win::Hmodule module = Prepare(c);
  Arrange(c.desktop);

  EXPECT_EQ(c.exitCode, RunUpdater(module));

  ASSERT_EQ(c.messages.size(), messages.size())
      << "last: " << Printable(messages.empty() ? "" : messages.back().text);
  for (size_t i = 0; i < messages.size(); ++i) {
    EXPECT_EQ(Sjis(c.messages[i].caption), messages[i].caption) << i;
    EXPECT_EQ(Sjis(c.messages[i].text), messages[i].text) << i;
  }
  EXPECT_EQ(c.templateId, openedTemplate);
  if (c.templateId != 0) {
    EXPECT_EQ(Sjis(c.welcome), openedWelcome);
  }
  EXPECT_EQ(c.updated ? "new game" : "old game", ReadHostFile(DriveC() + "/Games/Star/game.exe"));
  if (c.templateId != 0) {
    EXPECT_EQ(c.dataPath, updaterState.dataPath);
  }
  EXPECT_EQ(nullptr, updaterState.ownerWindow);
  EXPECT_FALSE(HostFileExists(DriveC() + "/tmp/UPDATE.INI"));
  EXPECT_TRUE(StandinTopLevelWindows().size() <= 1u) << "the wizard's window is gone";
}

std::vector<RunCase> Cases() {
  std::vector<RunCase> cases;
  auto add = [&cases](const RunCase& c) { cases.push_back(c); };
  const Message interrupted{kCaption, kInterrupted};

  RunCase c;
  c.what = "a finished update";
  add(c);

  // Required keys, read with their messages.
  for (const char* key : {"CompanyName", "GameTitle", "GameClass", "GameDir"}) {
    c = RunCase();
    c.what = std::string("no ") + key;
    std::string setup = kUpdateSetup;
    size_t at = setup.find(key);
    setup.erase(at, setup.find('\n', at) + 1 - at);
    c.setup = setup;
    c.exitCode = 0;
    c.messages = {{"INSTCMMN", std::string("SETUP : ") + key + " キーが存在しません"}};
    c.templateId = 0;
    c.updated = false;
    add(c);
  }
  c = RunCase();
  c.what = "an empty GameDir";
  c.setup = std::string(kUpdateSetup) + "GameDir=\r\n";
  c.setup.erase(c.setup.find("GameDir=StarJourney"), 21);
  c.exitCode = 0;
  c.messages = {{"INSTCMMN", "SETUP : GameDir キーが存在しません"}};
  c.templateId = 0;
  c.updated = false;
  add(c);

  // The mode word, seen in the welcome text (the install wording names the
  // updater's title, which is also the caption).
  struct Mode {
    const char* value;
    bool install;
  };
  for (Mode mode : {Mode{"0", false}, Mode{"abc", false}, Mode{"1", true}, Mode{" -2", true},
                    Mode{"", false}}) {
    c = RunCase();
    c.what = std::string("mode '") + mode.value + "'";
    c.setup = std::string(kUpdateSetup) + "UpdaterTitle=星の旅路 更新\r\n" +
              "ModeTextUpdateOrInstall=" + mode.value + "\r\n";
    c.welcome = mode.install ? "「星の旅路 更新」のインストールを開始します" : kWelcome;
    c.presses = {"next", "cancel"};
    c.exitCode = 0;
    c.messages = {{"星の旅路 更新", kInterrupted}};
    c.updated = false;
    add(c);
  }

  // Agreement texts.
  c = RunCase();
  c.what = "an agreement title without a text";
  c.setup = std::string(kUpdateSetup) + "AgreementTitle=TITLE.TXT\r\n";
  c.entries = {{"TITLE.TXT", "利用規約の確認"}};
  c.welcome = "利用規約の確認";
  add(c);

  c = RunCase();
  c.what = "an agreement to accept";
  c.setup = std::string(kUpdateSetup) + "AgreementText=AGREE.TXT\r\n";
  c.entries = {{"AGREE.TXT", "規約\r\n本文"}};
  c.templateId = 101;
  c.presses = {"next", "agree", "next", "next", "next"};
  add(c);

  c = RunCase();
  c.what = "an agreement declined";
  c.setup = std::string(kUpdateSetup) + "AgreementText=AGREE.TXT\r\nAgreementTitle=TITLE.TXT\r\n";
  c.entries = {{"AGREE.TXT", "規約"}, {"TITLE.TXT", "利用規約の確認"}};
  c.templateId = 101;
  c.welcome = "利用規約の確認";
  c.presses = {"agree", "disagree", "next", "cancel"};
  c.exitCode = 0;
  c.messages = {interrupted};
  c.updated = false;
  add(c);

  for (const char* key : {"AgreementText", "AgreementTitle"}) {
    c = RunCase();
    c.what = std::string("a missing ") + key + " entry";
    c.setup = std::string(kUpdateSetup) + key + "=NOPE.TXT\r\n";
    c.exitCode = 0;
    c.messages = {{"UPDATE", "Can't Find File in Resource !!"},
                  {"UPDATE", "'NOPE.TXT' not found at UPDATE.VQ3"}};
    c.templateId = 0;
    c.updated = false;
    add(c);
  }

  // The installation key.
  struct Installation {
    const char* what;
    std::string registry;
  };
  const std::string longPath(300, 'x');
  for (const Installation& bad :
       {Installation{"no registry file", ""},
        Installation{"no installation key",
                     "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\ExampleSoft\\Other]\r\n"
                     "\"InstPath\"=\"C:\\\\Games\\\\Star\"\r\n\"InstMode\"=dword:1\r\n"},
        Installation{"no InstPath", Registry("\"InstMode\"=dword:00000001\r\n")},
        Installation{"no InstMode", Registry("\"InstPath\"=\"C:\\\\Games\\\\Star\"\r\n")},
        Installation{
            "an InstPath longer than its buffer",
            Registry("\"InstPath\"=\"C:\\\\" + longPath + "\"\r\n\"InstMode\"=dword:1\r\n")},
        Installation{"an InstPath too long for SETUP.INI",
                     Registry("\"InstPath\"=\"C:\\\\" + std::string(246, 'x') +
                              "\"\r\n\"InstMode\"=dword:1\r\n")}}) {
    c = RunCase();
    c.what = bad.what;
    c.registry = bad.registry;
    c.setup = std::string(kUpdateSetup) + "UpdateMessage=お知らせ\r\n";  // never shown
    c.exitCode = 0;
    c.messages = {{"UPDATE", kNotInstalled}};
    c.templateId = 0;
    c.updated = false;
    add(c);
  }
  c = RunCase();
  c.what = "the longest InstPath that SETUP.INI fits";
  c.registry =
      Registry("\"InstPath\"=\"C:\\\\" + std::string(245, 'x') + "\"\r\n\"InstMode\"=dword:1\r\n");
  c.exitCode = 0;
  c.messages = {{"UPDATE", kNoSetupIni}};
  c.templateId = 0;
  c.updated = false;
  add(c);

  c = RunCase();
  c.what = "no DataPath";
  c.registry = Registry(std::string("\"InstPath\"=\"") + kInstPath +
                        "\"\r\n\"InstMode\"=dword:00000001\r\n");
  c.dataPath = "";
  add(c);

  c = RunCase();
  c.what = "a DataPath longer than its buffer";
  c.registry = Registry(std::string("\"InstPath\"=\"") + kInstPath + "\"\r\n\"DataPath\"=\"C:\\\\" +
                        longPath + "\"\r\n\"InstMode\"=dword:00000001\r\n");
  c.dataPath = "";
  add(c);

  // The notice.
  c = RunCase();
  c.what = "a notice of two lines";
  c.setup = std::string(kUpdateSetup) + "UpdateMessage=一行目\\n二行目\r\n";
  c.messages = {{"UPDATE", "一行目\r二行目"}};
  add(c);

  c = RunCase();
  c.what = "a notice with 0x5C as a second byte before n";
  c.setup = std::string(kUpdateSetup) + "UpdateMessage=表n\\n\r\n";
  c.messages = {{"UPDATE", "表n\r"}};
  add(c);

  // The installation's description.
  c = RunCase();
  c.what = "no SETUP.INI";
  c.setup = std::string(kUpdateSetup) + "UpdateMessage=お知らせ\r\n";
  c.setupIni = "";
  c.exitCode = 0;
  c.messages = {{"UPDATE", "お知らせ"}, {"UPDATE", kNoSetupIni}};
  c.templateId = 0;
  c.updated = false;
  add(c);

  c = RunCase();
  c.what = "a SETUP.INI without CompanyName";
  c.setupIni = std::string(kSetupIni).erase(9, 25);
  c.exitCode = 0;
  c.templateId = 0;
  c.updated = false;
  add(c);

  // The caption.
  c = RunCase();
  c.what = "a caption without title and version";
  c.setup = std::string(kUpdateSetup).erase(std::string(kUpdateSetup).find("UpdaterVersion"));
  c.presses = {"cancel"};
  c.exitCode = 0;
  c.messages = {{"星の旅路DX アップデータ ", kInterrupted}};
  c.updated = false;
  add(c);

  // Refusals.
  c = RunCase();
  c.what = "a second updater";
  c.setup = std::string(kUpdateSetup) + "UpdateMessage=お知らせ\r\n";
  c.desktop = Desktop::kOtherUpdater;
  c.exitCode = 0;
  c.messages = {{"UPDATE", "お知らせ"}};
  c.templateId = 0;
  c.updated = false;
  add(c);

  c = RunCase();
  c.what = "a running game closed before OK";
  c.desktop = Desktop::kGameClosesOnOk;
  c.answers = {win::kIdOk};
  c.messages = {{kCaption, Prompt("星の旅路DX")}};
  add(c);

  c = RunCase();
  c.what = "a running game kept open, then Cancel";
  c.desktop = Desktop::kGameStays;
  c.answers = {win::kIdOk, win::kIdOk, win::kIdCancel};
  c.exitCode = 0;
  c.messages = {{kCaption, Prompt("星の旅路DX")},
                {kCaption, Prompt("星の旅路DX")},
                {kCaption, Prompt("星の旅路DX")}};
  c.templateId = 0;
  c.updated = false;
  add(c);

  c = RunCase();
  c.what = "a running game under GameTitleA";
  c.setup = std::string(kUpdateSetup) + "GameTitleA=星の旅路 体験版\r\n";
  c.desktop = Desktop::kGameAStays;
  c.answers = {win::kIdCancel};
  c.exitCode = 0;
  c.messages = {{kCaption, Prompt("星の旅路 体験版")}};
  c.templateId = 0;
  c.updated = false;
  add(c);

  c = RunCase();
  c.what = "the game's title under another class";
  c.desktop = Desktop::kGameOfOtherClass;
  add(c);

  // The wizard's outcomes.
  c = RunCase();
  c.what = "a cancelled wizard";
  c.presses = {"next", "cancel"};
  c.exitCode = 0;
  c.messages = {interrupted};
  c.updated = false;
  add(c);

  c = RunCase();
  c.what = "a failed update";
  c.update = "[UPDATE]\r\nUpdateFile00=missing.exe\r\n";
  c.presses = {"next", "next"};
  c.exitCode = 0;
  c.messages = {{kCaption, "Can't Find File in Resource !!"},
                {kCaption, "ファイルの書き込みに失敗しました"},
                interrupted};
  c.updated = false;
  add(c);

  c = RunCase();
  c.what = "a wizard that cannot be created";
  c.desktop = Desktop::kNoDialogs;
  c.exitCode = 0;
  c.messages = {interrupted};
  c.templateId = 0;
  c.updated = false;
  add(c);
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Runs, LaunchRun, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<RunCase>& info) {
                           std::string name;
                           for (char ch : info.param.what) {
                             name += std::isalnum(uint8_t(ch)) ? ch : '_';
                           }
                           return name;
                         });

// ---- Details of single paths ----

TEST_F(LaunchRun, TheRunningGamePromptHasNoOwnerNorIconAndTheGameComesForward) {
  RunCase c;
  c.desktop = Desktop::kGameStays;
  c.answers = {win::kIdCancel};
  win::Hmodule module = Prepare(c);
  Arrange(c.desktop);
  EXPECT_EQ(0, RunUpdater(module));
  ASSERT_EQ(1u, messages.size());
  EXPECT_EQ(nullptr, messages[0].owner);
  EXPECT_EQ(win::kMbOkCancel, messages[0].type);
  EXPECT_EQ(gameWindow, StandinForegroundWindow());
  EXPECT_TRUE(StandinWindowOf(gameWindow)->visible);
}

TEST_F(LaunchRun, ASecondUpdaterComesForward) {
  RunCase c;
  c.desktop = Desktop::kOtherUpdater;
  win::Hmodule module = Prepare(c);
  Arrange(c.desktop);
  EXPECT_EQ(0, RunUpdater(module));
  EXPECT_EQ(other_, StandinForegroundWindow());
  EXPECT_TRUE(StandinWindowOf(other_)->visible);
}

TEST_F(LaunchRun, ErrorsDuringTheWizardAreOwnedByItAndTheLastOneIsNot) {
  RunCase c;
  c.update = "[UPDATE]\r\nUpdateFile00=missing.exe\r\n";
  c.presses = {"next", "next"};
  win::Hmodule module = Prepare(c);
  EXPECT_EQ(0, RunUpdater(module));
  ASSERT_EQ(3u, messages.size());
  EXPECT_NE(nullptr, messages[0].owner);
  EXPECT_EQ(messages[0].owner, messages[1].owner);
  EXPECT_EQ(nullptr, messages[2].owner);
  EXPECT_EQ(win::kMbOk | win::kMbIconError, messages[2].type);
}

TEST_F(LaunchRun, AFinishedUpdateLeavesTheQuietFlagAndTheInstallationsValues) {
  RunCase c;
  win::Hmodule module = Prepare(c);
  EXPECT_EQ(1, RunUpdater(module));
  EXPECT_EQ(1, updaterState.quietKeys);
  EXPECT_EQ(Sjis(kCaption), updaterState.caption);
  EXPECT_EQ("StarJourneyWnd", std::string(updaterState.gameClass));
  EXPECT_EQ("C:\\Games\\Star\\SETUP.INI", std::string(updaterState.setupIniPath));
  EXPECT_EQ(1, updaterState.instMode);
  EXPECT_EQ(0, updaterState.modeIsInstall);
  EXPECT_EQ(Sjis("アップデート"), updaterState.modeWord);
}

TEST_F(LaunchRun, AgreementCopiesEndInTwoZeroBytes) {
  RunCase c;
  c.setup = std::string(kUpdateSetup) + "AgreementText=AGREE.TXT\r\n";
  c.entries = {{"AGREE.TXT", "abc"}};
  c.presses = {"cancel"};
  win::Hmodule module = Prepare(c);
  EXPECT_EQ(0, RunUpdater(module));
  ASSERT_NE(nullptr, updaterState.agreementText);
  EXPECT_EQ(0, std::memcmp(updaterState.agreementText, "abc\0\0", 5));
  EXPECT_EQ(nullptr, updaterState.agreementTitle);
}

TEST_F(LaunchRun, NoMemoryForTheAgreementCopy) {
  RunCase c;
  c.setup = std::string(kUpdateSetup) + "AgreementText=AGREE.TXT\r\n";
  c.entries = {{"AGREE.TXT", "abcdefghijklmnopqrstuvwxyz"}};
  win::Hmodule module = Prepare(c);
  // Only the copy is 2 bytes longer than the entry.
  realGlobalAlloc = platform.GlobalAlloc;
  platform.GlobalAlloc = [](win::Uint flags, size_t bytes) -> void* {
    return bytes == 28 ? nullptr : realGlobalAlloc(flags, bytes);
  };
  EXPECT_EQ(0, RunUpdater(module));
  ASSERT_EQ(1u, messages.size());
  EXPECT_EQ("Can't Allocate Memory !!", messages[0].text);
  EXPECT_EQ(0, openedTemplate);
}

}  // namespace
