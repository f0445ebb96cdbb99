// The wizard's dialog procedure on the stand-in desktop: its pages, page
// counter and buttons after sequences of presses, the agreement choice, the
// busy rules while a message box of the update run is open, and the cursor.
// The update run is the real one over a small installation.
#include "wizard/wizard_dialog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <string>
#include <vector>

#include "authoring/archive_writer.h"
#include "platform/posix/desktop_standin.h"
#include "platform/posix/terminal_dialog.h"
#include "tests/support/test_platform.h"
#include "texts.h"
#include "wizard/wizard_controls.h"

namespace {

const char kEnoughRoom[] = "[UPDATE]\r\nUpdateFile00=a.txt\r\n";
// 5000 bytes asked for, with 1000 free (LowOnSpace).
const char kNoRoom[] = "[UPDATE]\r\nRequiredDiskSpace=5000\r\nUpdateFile00=a.txt\r\n";
const char kEntryMissing[] = "[UPDATE]\r\nUpdateFile00=missing.txt\r\n";
// A line of another install mode: nothing to update, a message, completion.
const char kNothingToDo[] = "[UPDATE]\r\nUpdateFile00=2,a.txt\r\n";

class WizardTest : public UpdaterTest {
 protected:
  void SetUp() override {
    UpdaterTest::SetUp();
    ResolveTables();
    ResetStandinDesktop();
    SetStandinEchoStream(nullptr);
    ASSERT_EQ(0, mkdir((DriveC() + "/Game").c_str(), 0777));
    ASSERT_EQ(0, mkdir((DriveC() + "/tmp").c_str(), 0777));
    UpdaterState& s = updaterState;
    CopyInto(s.caption, "星の旅路 アップデータ Ver1.01");
    CopyInto(s.gameTitle, "星の旅路");
    CopyInto(s.updaterTitle, "星の旅路 セットアップ");
    CopyInto(s.modeWord, "アップデート");
    CopyInto(s.instPath, "C:\\Game");
    CopyInto(s.updateIniPath, "C:\\tmp\\UPDATE.INI");
    s.instMode = 1;
    s.quietKeys = 1;  // as the launch leaves it
    ArchiveItem item;
    item.name = "a.txt";
    item.data = {'n', 'e', 'w'};
    std::vector<uint8_t> image;
    std::string error;
    ASSERT_TRUE(BuildArchive({item}, ArchiveOptions{}, &image, &error)) << error;
    ASSERT_TRUE(UseArchive(image));
  }
  void TearDown() override {
    ResetStandinDesktop();
    UpdaterTest::TearDown();
  }

  template <size_t N>
  static void CopyInto(char (&field)[N], const std::string& utf8) {
    std::string text = Sjis(utf8);
    ASSERT_LT(text.size(), N);
    text.copy(field, N);
    field[text.size()] = '\0';
  }

  void SetInstallMode() {
    updaterState.modeIsInstall = 1;
    CopyInto(updaterState.modeWord, "インストール");
  }

  void Open(unsigned templateId, const char* updateSection) {
    UseUpdateIni(updateSection);
    std::string caption;
    std::vector<NewStandinControl> controls;
    ASSERT_TRUE(TerminalDialogTemplate(templateId, &caption, &controls));
    dialog_ = CreateStandinDialog(caption, controls);
    EXPECT_EQ(0, WizardDialogProc(dialog_, win::kWmInitDialog, 0, 0));
  }

  StandinWindow* Control(int id) { return FindStandinControl(dialog_, id); }

  // A click: it reaches the dialog only while the control is enabled and
  // shown, as on the desktop.
  void Press(int id) {
    StandinWindow* control = Control(id);
    ASSERT_NE(nullptr, control) << id;
    if (!control->enabled || !control->visible) return;
    WizardDialogProc(dialog_, win::kWmCommand, win::WParam(id), win::LParam(control));
  }

  std::string Info() { return Control(kIdInfo)->text; }
  bool Ended(win::IntPtr* result) { return StandinDialogEnded(dialog_, result); }
  std::string Installed() { return ReadHostFile(DriveC() + "/Game/a.txt"); }

  win::Hwnd dialog_ = nullptr;
};

// ---- Sequences of presses ----

enum Agreement { kNoAgreement, kWithAgreement };

struct Expected {
  int page;
  bool ended;
  win::IntPtr result;  // when ended
  const char* info;    // UTF-8
  bool next, back, cancel;
  bool agreementShown;
  const char* nextText;  // UTF-8
  bool updated;          // a.txt written
};

struct PressCase {
  const char* what;
  Agreement agreement;
  const char* updateSection;
  std::vector<int> presses;
  Expected expected;
};

win::Bool WINAPI_CC LowOnSpace(const char*, uint64_t* freeToCaller, uint64_t*, uint64_t*) {
  *freeToCaller = 1000;
  return 1;
}

class WizardPresses : public WizardTest, public ::testing::WithParamInterface<PressCase> {};

TEST_P(WizardPresses, LeaveTheWizardInItsState) {
  const PressCase& c = GetParam();
  const Expected& e = c.expected;
  static char agreement[] = "Terms\r\nof use";
  if (c.agreement == kWithAgreement) updaterState.agreementText = agreement;
  platform.GetDiskFreeSpaceExA = LowOnSpace;
  Open(c.agreement == kWithAgreement ? 101 : 100, c.updateSection);

  for (int id : c.presses) Press(id);

  win::IntPtr result = 0;
  EXPECT_EQ(e.ended, Ended(&result));
  if (e.ended) {
    EXPECT_EQ(e.result, result);
  }
  EXPECT_EQ(e.page, updaterState.wizardPage);
  EXPECT_EQ(0, updaterState.wizardBusy);
  EXPECT_EQ(Sjis(e.info), Info());
  EXPECT_EQ(e.next, Control(kIdNext)->enabled);
  EXPECT_EQ(e.back, Control(kIdBack)->enabled);
  EXPECT_EQ(e.cancel, Control(kIdCancel)->enabled);
  EXPECT_EQ(Sjis(e.nextText), Control(kIdNext)->text);
  if (c.agreement == kWithAgreement) {
    for (int id : {kIdAgreementText, kIdAgree, kIdDisagree}) {
      EXPECT_EQ(e.agreementShown, Control(id)->visible) << id;
    }
  }
  EXPECT_EQ(e.updated ? "new" : "", Installed());
}

const char kWelcome[] = "「星の旅路」のアップデートを開始します";
const char kConfirm[] = "アップデートを実行します";
const char kComplete[] = "アップデートは完了しました";
const char kNoSpace[] = "ディスク容量が足りません。\rC: ドライブに 4000 バイトの空き容量が必要です";

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Sequences, WizardPresses,
    ::testing::Values(
        PressCase{"welcome", kNoAgreement, kEnoughRoom, {},
                  {0, false, 0, kWelcome, true, false, true, false, "次へ", false}},
        PressCase{"Next shows the confirmation", kNoAgreement, kEnoughRoom, {kIdNext},
                  {1, false, 0, kConfirm, true, false, true, false, "次へ", false}},
        PressCase{"the second Next runs the update", kNoAgreement, kEnoughRoom,
                  {kIdNext, kIdNext},
                  {2, false, 0, kComplete, true, false, false, false, "完了", true}},
        PressCase{"the third Next ends with 0", kNoAgreement, kEnoughRoom,
                  {kIdNext, kIdNext, kIdNext},
                  {3, true, 0, "", true, false, false, false, "完了", true}},
        PressCase{"Cancel on the welcome page", kNoAgreement, kEnoughRoom, {kIdCancel},
                  {0, true, -1, kWelcome, true, false, true, false, "次へ", false}},
        PressCase{"Cancel on the confirmation", kNoAgreement, kEnoughRoom, {kIdNext, kIdCancel},
                  {1, true, -1, kConfirm, true, false, true, false, "次へ", false}},
        PressCase{"Cancel after completion cannot be pressed", kNoAgreement, kEnoughRoom,
                  {kIdNext, kIdNext, kIdCancel},
                  {2, false, 0, kComplete, true, false, false, false, "完了", true}},
        PressCase{"agreement: Next waits for agree", kWithAgreement, kEnoughRoom, {kIdNext},
                  {0, false, 0, kWelcome, false, false, true, true, "次へ", false}},
        PressCase{"agree enables Next", kWithAgreement, kEnoughRoom, {kIdAgree},
                  {0, false, 0, kWelcome, true, false, true, true, "次へ", false}},
        PressCase{"disagree again disables it", kWithAgreement, kEnoughRoom,
                  {kIdAgree, kIdDisagree, kIdNext},
                  {0, false, 0, kWelcome, false, false, true, true, "次へ", false}},
        PressCase{"the confirmation hides the agreement", kWithAgreement, kEnoughRoom,
                  {kIdAgree, kIdNext},
                  {1, false, 0, kConfirm, true, false, true, false, "次へ", false}},
        PressCase{"agreed, the update runs and ends with 0", kWithAgreement, kEnoughRoom,
                  {kIdAgree, kIdNext, kIdNext, kIdNext},
                  {3, true, 0, "", true, false, false, false, "完了", true}},
        PressCase{"free-space stop", kNoAgreement, kNoRoom, {kIdNext, kIdNext},
                  {2, false, 0, kNoSpace, false, true, true, false, "次へ", false}},
        PressCase{"Back after the stop shows the confirmation", kNoAgreement, kNoRoom,
                  {kIdNext, kIdNext, kIdBack},
                  {1, false, 0, kConfirm, true, false, true, false, "次へ", false}},
        PressCase{"Next after Back runs the update again", kNoAgreement, kNoRoom,
                  {kIdNext, kIdNext, kIdBack, kIdNext},
                  {2, false, 0, kNoSpace, false, true, true, false, "次へ", false}},
        PressCase{"a failed update ends with -1", kNoAgreement, kEntryMissing,
                  {kIdNext, kIdNext},
                  {2, true, -1, "アップデートを実行しています", false, false, false, false, "次へ",
                   false}}),
    [](const ::testing::TestParamInfo<PressCase>& info) {
      std::string name;
      for (const char* p = info.param.what; *p; ++p) name += std::isalnum(uint8_t(*p)) ? *p : '_';
      return name;
    });
// clang-format on

// ---- The welcome page ----

TEST_F(WizardTest, InitialisationTakesTheWindowAndCaptionAndRestartsTheCounters) {
  updaterState.wizardPage = 7;
  updaterState.wizardBusy = 3;
  Open(100, kEnoughRoom);
  EXPECT_EQ(dialog_, updaterState.ownerWindow);
  EXPECT_EQ(0, updaterState.wizardPage);
  EXPECT_EQ(0, updaterState.wizardBusy);
  EXPECT_EQ(Sjis("星の旅路 アップデータ Ver1.01"), StandinWindowOf(dialog_)->text);
  EXPECT_EQ(nullptr, StandinFocus());
}

TEST_F(WizardTest, InstallModeWelcomesWithTheUpdaterTitle) {
  SetInstallMode();
  Open(100, kEnoughRoom);
  EXPECT_EQ(Sjis("「星の旅路 セットアップ」のインストールを開始します"), Info());
  Press(kIdNext);
  EXPECT_EQ(Sjis("インストールを実行します"), Info());
}

TEST_F(WizardTest, AnAgreementTitleIsShownLiterally) {
  static char title[] = "%s %d をお読み下さい";
  updaterState.agreementTitle = title;
  Open(100, kEnoughRoom);
  EXPECT_EQ(std::string(title), Info());
  EXPECT_TRUE(Control(kIdNext)->enabled);
}

TEST_F(WizardTest, TheAgreementStartsWithDisagreeChecked) {
  static char agreement[] = "Terms\r\nof use";
  updaterState.agreementText = agreement;
  Open(101, kEnoughRoom);
  EXPECT_EQ(std::string(agreement), Control(kIdAgreementText)->text);
  EXPECT_TRUE(Control(kIdDisagree)->checked);
  EXPECT_FALSE(Control(kIdAgree)->checked);
  for (int id : {kIdAgreementText, kIdAgree, kIdDisagree}) EXPECT_TRUE(Control(id)->enabled);
  Press(kIdAgree);
  EXPECT_TRUE(Control(kIdAgree)->checked);
  EXPECT_FALSE(Control(kIdDisagree)->checked);
}

TEST_F(WizardTest, WithoutAnAgreementTheLargeTemplateHidesItsControls) {
  Open(101, kEnoughRoom);
  for (int id : {kIdAgreementText, kIdAgree, kIdDisagree}) EXPECT_FALSE(Control(id)->visible);
  EXPECT_TRUE(Control(kIdNext)->enabled);
}

// ---- Commands that do not count ----

TEST_F(WizardTest, OnlyClickNotificationsAreHandled) {
  Open(100, kEnoughRoom);
  const win::WParam focusNotification = (win::WParam(0x0100) << 16) | kIdNext;  // EN_SETFOCUS
  WizardDialogProc(dialog_, win::kWmCommand, focusNotification, 0);
  WizardDialogProc(dialog_, win::kWmCommand, (win::WParam(1) << 16) | kIdCancel, 0);
  EXPECT_EQ(0, updaterState.wizardPage);
  EXPECT_FALSE(Ended(nullptr));
  EXPECT_EQ(Sjis(kWelcome), Info());
}

// ---- While busy ----

// Presses and a cursor request that arrive through the nested message loop
// of a message box the update run shows.
std::vector<win::IntPtr> cursorAnswers;
unsigned cursorWhileBusy = 0;
win::Hwnd busyDialog = nullptr;
int WINAPI_CC PressWhileBoxIsOpen(win::Hwnd, const char* text, const char* caption,
                                  win::Uint type) {
  UpdaterTest::messages.push_back({text, caption, nullptr, type});
  for (int id : {kIdNext, kIdBack, kIdCancel}) {
    WizardDialogProc(busyDialog, win::kWmCommand, win::WParam(id), 0);
  }
  cursorAnswers.push_back(WizardDialogProc(busyDialog, win::kWmSetCursor, 0, 0));
  cursorWhileBusy = StandinCursorId();
  return win::kIdOk;
}

TEST_F(WizardTest, PressesDuringTheRunAreDroppedAndTheCursorWaits) {
  Open(100, kNothingToDo);
  busyDialog = dialog_;
  cursorAnswers.clear();
  platform.MessageBoxA = PressWhileBoxIsOpen;
  Press(kIdNext);
  Press(kIdNext);

  ASSERT_EQ(1u, messages.size());
  EXPECT_EQ(Sjis("アップデートする必要のあるファイルはありません"), messages[0].text);
  EXPECT_EQ(std::vector<win::IntPtr>{1}, cursorAnswers);
  EXPECT_EQ(win::kIdcWait, cursorWhileBusy);
  EXPECT_FALSE(Ended(nullptr));           // Cancel was dropped
  EXPECT_EQ(2, updaterState.wizardPage);  // so were Next and Back
  EXPECT_EQ(0, updaterState.wizardBusy);
  EXPECT_EQ(Sjis(kComplete), Info());
}

TEST_F(WizardTest, TheCursorIsLeftToTheSystemWhenIdle) {
  Open(100, kEnoughRoom);
  SetStandinCursorId(win::kIdcArrow);
  EXPECT_EQ(0, WizardDialogProc(dialog_, win::kWmSetCursor, 0, 0));
  EXPECT_EQ(win::kIdcArrow, StandinCursorId());
}

TEST_F(WizardTest, OtherMessagesAreLeftToTheSystem) {
  Open(100, kEnoughRoom);
  EXPECT_EQ(0, WizardDialogProc(dialog_, 0x0010 /* WM_CLOSE */, 0, 0));
  EXPECT_EQ(0, WizardDialogProc(dialog_, 0x000F /* WM_PAINT */, 0, 0));
  EXPECT_FALSE(Ended(nullptr));
}

}  // namespace
