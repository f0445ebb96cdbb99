// What a program of the player, without the updater's elevation, can plant
// in the game's folders: a journal that names files elsewhere on the disk,
// or a link that leads out of the installation. The updater acts on neither:
// a planted journal is set aside and changes nothing, and no write goes
// through a link.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "tests/runs/update_run_bench.h"
#include "update/recover_update.h"
#include "update/update_journal.h"

namespace update_run_test {
namespace {

const Message kWriteFailed{"ファイルの書き込みに失敗しました", kErrorBox};

// One record of a planted journal: a target ('T', attributes of an existing
// file unless `missing`), staged ('S') or kept ('K') name of target
// `index`, a folder ('F'), or the end of the replace ('R').
struct Record {
  char kind;
  std::string path;  // UTF-8 DOS path
  int index = 0;
  bool missing = false;
};

struct PlantedCase {
  const char* what;
  std::vector<Record> records;
};

std::ostream& operator<<(std::ostream& out, const PlantedCase& c) { return out << c.what; }

class PlantedFiles : public UpdateRunTest {
 protected:
  void SetUp() override {
    UpdateRunTest::SetUp();
    // A system folder the player cannot write, and the player's own files.
    Install({{"Windows/", "", 0},
             {"Windows/System32/", "", 0},
             {"Windows/System32/empty/", "", 0},
             {"Windows/System32/victim.dll", "system", kOldTime},
             {"game/evil.dll", "evil", kOldTime},
             {"game/a.dat", "a", kOldTime},
             {"game/save.dat", "player's save", kOldTime},
             {"game/new.dat", "old", kOldTime}});
    chmod((DriveC() + "/Windows/System32/victim.dll").c_str(), 0444);
    ASSERT_EQ(0, symlink("../Windows/System32", (DriveC() + "/game/link").c_str()));
  }

  void Plant(const std::vector<Record>& records) {
    win::Handle journal = CreateJournal();
    ASSERT_NE(win::InvalidHandle(), journal);
    for (const Record& r : records) {
      const std::string path = Sjis(r.path);
      switch (r.kind) {
        case 'T': {
          TargetRecord target{};
          CopyText(target.target, kPathSize, path.c_str());
          target.attributes = r.missing ? win::kInvalidFileAttributes : win::kAttributeNormal;
          ASSERT_TRUE(JournalTarget(journal, r.index, target));
          break;
        }
        case 'S': ASSERT_TRUE(JournalStaged(journal, r.index, path.c_str())); break;
        case 'K': ASSERT_TRUE(JournalOldFileName(journal, r.index, path.c_str())); break;
        case 'F': ASSERT_TRUE(JournalFolder(journal, path.c_str())); break;
        case 'G': ASSERT_TRUE(JournalCopyFolder(journal, path.c_str())); break;
        case 'M': ASSERT_TRUE(JournalCopiedFolder(journal, path.c_str())); break;
        case 'R': ASSERT_TRUE(JournalCommitted(journal)); break;
      }
    }
    ASSERT_TRUE(FlushJournal(journal));  // every record on the disk
    systemFunctions.CloseHandle(journal);
  }

  // Every file, folder and link under C:\, links not followed: content and
  // permission bits, or where a link points.
  std::map<std::string, std::string> Disk(const std::string& relative = "") const {
    std::map<std::string, std::string> tree;
    Walk(relative, &tree);
    return tree;
  }

  void Walk(const std::string& relative, std::map<std::string, std::string>* tree) const {
    DIR* dir = opendir((DriveC() + "/" + relative).c_str());
    if (dir == nullptr) return;
    while (dirent* e = readdir(dir)) {
      const std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      const std::string path = relative + name;
      const std::string host = DriveC() + "/" + path;
      struct stat st;
      ASSERT_EQ(0, lstat(host.c_str(), &st));
      if (S_ISLNK(st.st_mode)) {
        char target[512] = {};
        ASSERT_GT(readlink(host.c_str(), target, sizeof target - 1), 0);
        (*tree)[path] = std::string("link to ") + target;
      } else if (S_ISDIR(st.st_mode)) {
        (*tree)[path + "/"] = "folder";
        Walk(path + "/", tree);
      } else {
        (*tree)[path] = ReadHostFile(host) + " mode " + std::to_string(st.st_mode & 0777);
      }
    }
    closedir(dir);
  }
};

class PlantedJournal : public PlantedFiles, public ::testing::WithParamInterface<PlantedCase> {};

// The start after the journal was planted changes nothing but the journal's
// name, and the update that follows completes.
TEST_P(PlantedJournal, IsSetAsideAndChangesNothing) {
  Plant(GetParam().records);
  std::map<std::string, std::string> before = Disk();
  const std::string journal = before["game/~UPD.JNL"];
  before.erase("game/~UPD.JNL");
  before["game/~UPD.BAD"] = journal;

  RecoverInterruptedUpdate();

  EXPECT_EQ(before, Disk());
  EXPECT_TRUE(messages.empty());

  UseUpdateLines("UpdateFile00=new.dat\r\n");
  RunUpdate(dialog_);
  ExpectComplete();
  EXPECT_EQ("new data", ReadHostFile(DriveC() + "/game/new.dat"));
  EXPECT_FALSE(HostFileExists(DriveC() + "/game/~UPD.JNL"));
}

INSTANTIATE_TEST_SUITE_P(
    Journals, PlantedJournal,
    ::testing::Values(
        PlantedCase{"a kept file of the attacker's put back over a system file",
                    {{'T', "C:\\Windows\\System32\\victim.dll"},
                     {'S', "C:\\Windows\\System32\\~upd0.tmp"},
                     {'K', "C:\\game\\evil.dll"}}},
        PlantedCase{"a target that climbs out of the installation",
                    {{'T', "C:\\game\\..\\Windows\\System32\\victim.dll"},
                     {'S', "C:\\game\\..\\Windows\\System32\\~upd0.tmp"},
                     {'K', "C:\\game\\..\\Windows\\System32\\~upd1.tmp"}}},
        PlantedCase{
            "a finished run whose kept file is a system file",
            {{'T', "C:\\game\\a.dat"}, {'K', "C:\\Windows\\System32\\victim.dll"}, {'R', ""}}},
        PlantedCase{"a kept file that is not of the run's naming",
                    {{'T', "C:\\game\\a.dat"}, {'K', "C:\\game\\save.dat"}, {'R', ""}}},
        PlantedCase{"a staged file that is not of the run's naming",
                    {{'T', "C:\\game\\a.dat", 0, true}, {'S', "C:\\game\\evil.dll"}}},
        PlantedCase{"a new file to remove outside the installation",
                    {{'T', "C:\\Windows\\System32\\victim.dll", 0, true},
                     {'S', "C:\\Windows\\System32\\~upd0.tmp"}}},
        PlantedCase{"a folder to remove outside the installation",
                    {{'F', "C:\\Windows\\System32\\empty"}}},
        PlantedCase{"a target reached through a link",
                    {{'T', "C:\\game\\link\\victim.dll"},
                     {'S', "C:\\game\\link\\~upd0.tmp"},
                     {'K', "C:\\game\\~upd1.tmp"}}},
        PlantedCase{"a staged name in another folder than its target",
                    {{'T', "C:\\game\\a.dat", 0, true}, {'S', "C:\\save\\~upd0.tmp"}}},
        // Undone, a copy folder is removed with everything in it.
        PlantedCase{"a system folder as the copy folder", {{'G', "C:\\Windows\\System32"}}},
        PlantedCase{"a copy folder not of the run's naming", {{'G', "C:\\game\\link"}}},
        PlantedCase{"a copy folder reached through a link", {{'G', "C:\\game\\link\\~upd0.tmp"}}},
        // Finished, a copied folder is merged into the installation.
        PlantedCase{"a copied folder outside the copy folder",
                    {{'G', "C:\\game\\~upd0.tmp"}, {'M', "C:\\Windows\\System32"}, {'R', ""}}},
        PlantedCase{"a copied folder that climbs out of the copy folder",
                    {{'G', "C:\\game\\~upd0.tmp"},
                     {'M', "C:\\game\\~upd0.tmp\\..\\..\\Windows"},
                     {'R', ""}}}));

TEST_F(PlantedFiles, AJournalThatIsALinkIsNotReadThroughAndIsSetAside) {
  WriteHostFile(DriveC() + "/Windows/System32/real.log", "system log");
  ASSERT_EQ(0, symlink("../Windows/System32/real.log", (DriveC() + "/game/~UPD.JNL").c_str()));
  std::map<std::string, std::string> before = Disk();
  before.erase("game/~UPD.JNL");
  before["game/~UPD.BAD"] = "link to ../Windows/System32/real.log";

  RecoverInterruptedUpdate();

  EXPECT_EQ(before, Disk());
}

TEST_F(PlantedFiles, ARunOfTheGamesOwnInTheDataFolderIsStillUndone) {
  Install({{"save/s.dat", "new s", kEntryTime}, {"save/~upd1.tmp", "old s", kOldTime}});
  Plant({{'T', "C:\\save\\s.dat"}, {'S', "C:\\save\\~upd0.tmp"}, {'K', "C:\\save\\~upd1.tmp"}});

  RecoverInterruptedUpdate();

  EXPECT_EQ("old s", ReadHostFile(DriveC() + "/save/s.dat"));
  EXPECT_FALSE(HostFileExists(DriveC() + "/save/~upd1.tmp"));
  EXPECT_FALSE(HostFileExists(DriveC() + "/game/~UPD.JNL"));
  EXPECT_FALSE(HostFileExists(DriveC() + "/game/~UPD.BAD"));
}

// A link inside the installation, made before the run (or while it
// waits): the run writes nothing through it and nothing outside changes.
struct LinkCase {
  const char* what;
  std::string link;    // host path under C:, relative
  std::string target;  // what the link points to
  std::string ini;
  std::vector<Message> messages;
  const char* dataFolder = "";
};

std::ostream& operator<<(std::ostream& out, const LinkCase& c) { return out << c.what; }

class LinkInTheInstallation : public PlantedFiles,
                              public ::testing::WithParamInterface<LinkCase> {};

TEST_P(LinkInTheInstallation, IsNotWrittenThrough) {
  const LinkCase& c = GetParam();
  ASSERT_EQ(0, symlink(c.target.c_str(), (DriveC() + "/" + c.link).c_str()));
  CopyText(updaterState.dataFolder, kPathSize, c.dataFolder);
  UseUpdateLines(c.ini);
  const std::map<std::string, std::string> outside = Disk("Windows/");

  RunUpdate(dialog_);

  EXPECT_EQ(outside, Disk("Windows/"));
  EXPECT_EQ(InSjis(c.messages), Messages());
  ExpectFailed();
  EXPECT_FALSE(HostFileExists(DriveC() + "/game/~UPD.JNL"));
}

INSTANTIATE_TEST_SUITE_P(
    Links, LinkInTheInstallation,
    ::testing::Values(
        LinkCase{"a folder on the way",
                 "game/sub",
                 "../Windows/System32",
                 "UpdateFile00=sub\\new.dat\r\n",
                 {kWriteFailed}},
        LinkCase{"the target itself",
                 "game/opt.dat",
                 "../Windows/System32/victim.dll",
                 "UpdateFile00=u,opt.dat\r\n",
                 {kWriteFailed}},
        LinkCase{"the target of a kept-content item",
                 "save/save.dat",
                 "../Windows/System32/victim.dll",
                 "UpdateFile00=d,save.dat\r\n",
                 {kWriteFailed}},
        LinkCase{"the data folder",
                 "game/data",
                 "../Windows/System32",
                 "UpdateFile00=new.dat\r\n",
                 {kWriteFailed},
                 "data"},
        LinkCase{"the landing folder of a copy from the disc",
                 "game/movie",
                 "../Windows/System32",
                 "CopyFile00=1:movie\r\n",
                 {{"SETUP.INI : \"movie\" のコピーに失敗しました", win::kMbIconError}}},
        LinkCase{"the destination of a file copied from the disc",
                 "game/readme.txt",
                 "../Windows/System32/victim.dll",
                 "CopyFile00=1:readme.txt\r\n",
                 {{"SETUP.INI : \"readme.txt\" のコピーに失敗しました", win::kMbIconError}}}));

}  // namespace
}  // namespace update_run_test
