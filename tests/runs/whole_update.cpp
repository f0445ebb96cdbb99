#include "tests/runs/whole_update.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <cstdlib>
#include <sstream>

#include "entry/updater_main.h"
#include "platform/posix/desktop_standin.h"
#include "platform/posix/posix_functions.h"
#include "platform/posix/terminal_dialog.h"
#include "tests/runs/run_times.h"
#include "tests/support/test_updater_file.h"

namespace whole_update {
namespace {

const char kUpdateIni[] =
    "[SETUP]\r\n"
    "CompanyName=ExampleSoft\r\n"
    "GameTitle=星の旅路\r\n"
    "GameClass=UpdateIniClass\r\n"
    "GameDir=StarJourney\r\n"
    "UpdaterVersion=Ver1.01\r\n"
    "DataFolder=data\r\n"
    "[UPDATE]\r\n"
    "UpdateFile00=e,SETUP.INI\r\n"
    "UpdateFile01=game.exe\r\n"
    "UpdateFile02=u,script.txt\r\n"
    "UpdateFile03=movie\\intro.txt\r\n"
    "UpdateFile04=extra.txt\r\n"
    "UpdateFile05=d,save.dat\r\n";

const char kSetupIni[] =
    "[SETUP]\r\n"
    "CompanyName=ExampleSoft\r\n"
    "GameTitle=星の旅路\r\n"
    "GameDir=StarJourney\r\n"
    "GameExe=game.exe\r\n"
    "UninstExe=uninst.exe\r\n"
    "SetupBmp=setup1.bmp\r\n"
    "InstallSelects=0\r\n"
    "Shortcuts=0\r\n"
    "GameClass=StarJourneyWnd\r\n";

const char kRegistry[] =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\ExampleSoft\\StarJourney]\r\n"
    "\"InstPath\"=\"C:\\\\Games\\\\Star\"\r\n"
    "\"DataPath\"=\"C:\\\\Save\"\r\n"
    "\"InstMode\"=dword:00000001\r\n";

std::vector<uint8_t> Archive() {
  const std::pair<const char*, std::string> files[] = {
      {"UPDATE.INI", Sjis(kUpdateIni)},
      {"game.exe", std::string(3000, 'g') + "new game"},
      {"script.txt", "new script: " + std::string(500, 's')},
      {"intro.txt", "new intro"},
      {"extra.txt", "new extra"},
      {"save.dat", "new save"}};
  return ArchiveOf(NamedContents(std::begin(files), std::end(files)), kEntryTime,
                   /*alternateScrambling=*/true);
}

}  // namespace

void WholeUpdateTest::SetUp() {
  UpdaterTest::SetUp();
  mkdir((DriveC() + "/tmp").c_str(), 0777);
  setenv("TMPDIR", (DriveC() + "/tmp").c_str(), 1);
  setenv("UPDATER_REGISTRY", (DriveC() + "/user.reg").c_str(), 1);
  WriteHostFile(DriveC() + "/user.reg", kRegistry);
  SetStandinEchoStream(nullptr);

  const std::string exe = DriveC() + "/UPDATE.EXE";
  module_ = ModuleWithArchive(exe, Archive());

  InstallOld();
  old_ = Installation();
  ASSERT_EQ(1, Run());
  ASSERT_TRUE(messages.empty());
  new_ = Installation();
  ASSERT_NE(old_, new_);
  InstallOld();
}

void WholeUpdateTest::TearDown() {
  ClearWizardInput();
  ResetStandinDesktop();
  unsetenv("TMPDIR");
  unsetenv("UPDATER_REGISTRY");
  UpdaterTest::TearDown();
}

void WholeUpdateTest::InstallOld() {
  const std::string c = DriveC();
  std::string command = "chmod -R u+w '" + c + "/Games' '" + c + "/Save' 2>/dev/null; rm -rf '" +
                        c + "/Games' '" + c + "/Save'";
  ASSERT_EQ(0, std::system(command.c_str()));
  for (const char* folder :
       {"/Games", "/Games/Star", "/Games/Star/data", "/Games/Star/data/movie", "/Save"}) {
    ASSERT_EQ(0, mkdir((c + folder).c_str(), 0777));
  }
  const std::pair<const char*, const char*> files[] = {
      {"/Games/Star/data/game.exe", "old game"},
      {"/Games/Star/data/script.txt", "old script"},
      {"/Games/Star/data/movie/intro.txt", "old intro"},
      {"/Games/Star/data/keep.txt", "not in the update"}};
  WriteHostFile(c + "/Games/Star/SETUP.INI", Sjis(kSetupIni));
  ASSERT_TRUE(SetHostTimes(c + "/Games/Star/SETUP.INI", kOldTime));
  for (const auto& f : files) {
    WriteHostFile(c + f.first, f.second);
    ASSERT_TRUE(SetHostTimes(c + f.first, kOldTime));
  }
  chmod((c + "/Games/Star/data/script.txt").c_str(), 0444);
}

Tree WholeUpdateTest::Installation() const {
  Tree tree;
  for (const char* folder : {"Games/", "Save/"}) {
    ForEachHostFile(DriveC(), folder, [&](const std::string& path, const struct stat& st) {
      tree[path] = path.back() == '/' ? FileState{"", 0, false}
                                      : FileState{ReadHostFile(DriveC() + "/" + path),
                                                  Ticks(st.st_mtim), (st.st_mode & S_IWUSR) == 0};
    });
  }
  return tree;
}

int WholeUpdateTest::Run(const std::vector<std::string>& presses) {
  ResetUpdaterState();
  ResetStandinDesktop();
  ClearWizardInput();
  QueueWizardInput(presses);
  messages.clear();
  answers.clear();
  return RunUpdater(module_);
}

std::string Describe(const Tree& tree) {
  std::ostringstream out;
  for (const auto& [path, state] : tree) {
    out << "  " << path << " \"" << state.content.substr(0, 20) << "\" @" << state.time
        << (state.readOnly ? " ro" : "") << "\n";
  }
  return out.str();
}

}  // namespace whole_update
