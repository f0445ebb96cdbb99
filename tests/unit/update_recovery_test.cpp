// The next start after a killed update run: the journal that the run left
// (written here through the run's own journal functions, then abandoned)
// is read back and the installation put back, or finished when every
// target had been replaced; a journal in use by another updater is left
// alone, a read-only one is handled, a record cut short ends the journal.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "tests/unit/update_run_fixture.h"
#include "update/recover_update.h"
#include "update/update_journal.h"

namespace update_run_test {
namespace {

class Recovery : public UpdateRunTest {
 protected:
  // A killed run's state: a.dat (old, read-only, its own times) moved to its
  // kept name and replaced by the new file; b.dat (new) staged but not yet
  // in place; the folder data made by the run.
  void LeaveKilledRun(bool replaced, bool cutLastRecord = false) {
    Install({{"game/a.dat", "old a", kOldTime}, {"game/~upd1.tmp", "old a", kOldTime},
             {"game/data/", "", 0}, {"game/~upd2.tmp", "new b", kEntryTime}});
    WriteHostFile(DriveC() + "/game/a.dat", "new a");
    SetTimes(DriveC() + "/game/a.dat", kEntryTime);
    chmod((DriveC() + "/game/~upd1.tmp").c_str(), 0444);
    win::Handle journal = CreateJournal();
    ASSERT_NE(win::InvalidHandle(), journal);
    TargetRecord a{};
    CopyText(a.target, kPathSize, "C:\\game\\a.dat");
    a.attributes = win::kAttributeReadonly;
    a.timesKnown = true;
    a.times[0] = a.times[1] = a.times[2] = win::ToFileTime(kOldTime);
    a.times[1] = win::ToFileTime(kOldTime + 5);
    TargetRecord b{};
    CopyText(b.target, kPathSize, "C:\\game\\b.dat");
    b.attributes = win::kInvalidFileAttributes;
    ASSERT_TRUE(JournalFolder(journal, "C:\\game\\data"));
    ASSERT_TRUE(JournalTarget(journal, 0, a));
    ASSERT_TRUE(JournalStaged(journal, 0, "C:\\game\\~upd0.tmp"));
    ASSERT_TRUE(JournalKept(journal, 0, "C:\\game\\~upd1.tmp"));
    ASSERT_TRUE(JournalTarget(journal, 1, b));
    ASSERT_TRUE(JournalStaged(journal, 1, "C:\\game\\~upd2.tmp"));
    if (replaced) {
      ASSERT_TRUE(JournalReplaced(journal));
    }
    systemFunctions.CloseHandle(journal);  // the run is killed here
    if (cutLastRecord) {
      std::string text = ReadHostFile(JournalHostPath());
      WriteHostFile(JournalHostPath(), text.substr(0, text.size() - 3));
    }
  }

  std::string JournalHostPath() const { return DriveC() + "/game/~UPD.JNL"; }

  // Every file under C:\game with its content.
  std::map<std::string, std::string> Files() const {
    std::map<std::string, std::string> files;
    for (const auto& [path, state] : Installation()) files[path] = state.content;
    return files;
  }
};

TEST_F(Recovery, UndoesARunKilledBeforeEveryTargetWasReplaced) {
  LeaveKilledRun(false);
  RecoverInterruptedUpdate();
  struct stat st;  // before the contents are read
  ASSERT_EQ(0, stat((DriveC() + "/game/a.dat").c_str(), &st));
  EXPECT_EQ(0u, st.st_mode & 0222) << "read-only again";
  EXPECT_EQ(kOldTime, Ticks(st.st_mtim));
  EXPECT_EQ(kOldTime + 5, Ticks(st.st_atim));
  EXPECT_EQ((std::map<std::string, std::string>{{"game/a.dat", "old a"}}), Files());
  EXPECT_TRUE(messages.empty());
}

TEST_F(Recovery, FinishesARunKilledAfterEveryTargetWasReplaced) {
  LeaveKilledRun(true);
  RemoveHostFile("game/~upd2.tmp");  // b.dat had taken its place
  WriteHostFile(DriveC() + "/game/b.dat", "new b");
  RecoverInterruptedUpdate();
  EXPECT_EQ((std::map<std::string, std::string>{
                {"game/a.dat", "new a"}, {"game/b.dat", "new b"}, {"game/data/", ""}}),
            Files());
}

TEST_F(Recovery, ARecordCutShortEndsTheJournal) {
  // The staged b.dat was never recorded whole, so it was never made either.
  LeaveKilledRun(false, /*cutLastRecord=*/true);
  RemoveHostFile("game/~upd2.tmp");
  RecoverInterruptedUpdate();
  EXPECT_EQ((std::map<std::string, std::string>{{"game/a.dat", "old a"}}), Files());
}

TEST_F(Recovery, AJournalInUseByAnotherUpdaterIsLeftAlone) {
  LeaveKilledRun(false);
  const auto before = Files();
  win::Handle held = systemFunctions.CreateFileA("C:\\game\\~UPD.JNL", win::kGenericRead, 0,
                                                 nullptr, win::kOpenExisting,
                                                 win::kAttributeNormal, nullptr);
  ASSERT_NE(win::InvalidHandle(), held);
  RecoverInterruptedUpdate();
  EXPECT_EQ(before, Files());
  systemFunctions.CloseHandle(held);
  RecoverInterruptedUpdate();
  EXPECT_EQ((std::map<std::string, std::string>{{"game/a.dat", "old a"}}), Files());
}

TEST_F(Recovery, AReadOnlyJournalIsReadAndRemoved) {
  LeaveKilledRun(false);
  chmod(JournalHostPath().c_str(), 0444);
  RecoverInterruptedUpdate();
  EXPECT_EQ((std::map<std::string, std::string>{{"game/a.dat", "old a"}}), Files());
}

TEST_F(Recovery, WithoutAJournalNothingChanges) {
  Install({{"game/a.dat", "old a", kOldTime}, {"game/~upd0.tmp", "someone's", kOldTime}});
  RecoverInterruptedUpdate();
  EXPECT_EQ((std::map<std::string, std::string>{{"game/a.dat", "old a"},
                                                {"game/~upd0.tmp", "someone's"}}),
            Files());
}

TEST_F(Recovery, AFolderRecordedAgainAfterAFailedTryDoesNotEndTheJournal) {
  Install({{"save/data/", "", 0}, {"game/data/", "", 0},
           {"game/data/new.dat", "new", kEntryTime}});
  win::Handle journal = CreateJournal();
  ASSERT_NE(win::InvalidHandle(), journal);
  for (const char* folder : {"C:\\save\\data", "C:\\save\\data", "C:\\game\\data"}) {
    ASSERT_TRUE(JournalFolder(journal, folder));
  }
  TargetRecord made{};
  CopyText(made.target, kPathSize, "C:\\game\\data\\new.dat");
  made.attributes = win::kInvalidFileAttributes;
  ASSERT_TRUE(JournalTarget(journal, 0, made));
  ASSERT_TRUE(JournalStaged(journal, 0, "C:\\game\\data\\~upd0.tmp"));
  systemFunctions.CloseHandle(journal);

  RecoverInterruptedUpdate();
  EXPECT_TRUE(Files().empty()) << Files().size();
}

// A journal line as the run writes it: the record, a tab, its FNV-1a sum.
std::string JournalLine(const std::string& record) {
  uint32_t sum = 2166136261u;
  for (unsigned char c : record) sum = (sum ^ c) * 16777619u;
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08x", sum);
  return record + "\t" + hex + "\r\n";
}

TEST_F(Recovery, ARecordThatMakesNoSenseEndsTheJournal) {
  LeaveKilledRun(false);
  std::string text = ReadHostFile(JournalHostPath());
  // Records after the first target; a staged file for no target, an index
  // of too many digits, then one that would count if it were read.
  const size_t cut = text.find("S 0 ");
  text = text.substr(0, cut) + JournalLine("S 7 C:\\game\\~upd0.tmp") +
         JournalLine("K 99999999999999999999 C:\\game\\a.dat") +
         JournalLine("K 0 C:\\game\\~upd1.tmp");
  WriteHostFile(JournalHostPath(), text);

  RecoverInterruptedUpdate();
  // Only the folder and a.dat's record were read: a.dat (the new file, as
  // the run had not yet staged anything by that record) is left, the folder
  // goes, the journal goes.
  const auto files = Files();
  EXPECT_EQ(0u, files.count("game/data/"));
  EXPECT_EQ(1u, files.count("game/~upd1.tmp"));
  EXPECT_FALSE(HostFileExists(JournalHostPath()));
}

TEST_F(Recovery, AJournalWithoutItsHeaderIsOnlyRemoved) {
  Install({{"game/a.dat", "old a", kOldTime}});
  WriteHostFile(JournalHostPath(), "UPD");
  RecoverInterruptedUpdate();
  EXPECT_EQ((std::map<std::string, std::string>{{"game/a.dat", "old a"}}), Files());
}

}  // namespace
}  // namespace update_run_test
