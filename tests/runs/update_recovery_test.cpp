// The next start after a killed update run: the journal that the run left
// (written here through the run's own journal functions, then abandoned)
// is read back, and the run is undone when it had not committed, finished
// when it had. A file that the player changed since the run left it is
// never overwritten or removed; a folder that holds the player's files
// stays; a journal that is damaged, of another version, too large, or in
// the way as a folder is set aside, so no later update is blocked.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "tests/runs/update_run_bench.h"
#include "tests/support/fault_injector.h"
#include "update/recover_update.h"
#include "update/update_journal.h"

namespace update_run_test {
namespace {

// How far the killed run had come. Its targets: a.dat (old, read-only)
// and b.dat (new), in the folder data that it made.
enum class Reached {
  kStaged,        // both staged, not committed
  kCommitted,     // committed, nothing replaced
  kHalfReplaced,  // a.dat's old file moved to its old name, its new one not yet in place
  kReplaced,      // both in place; a.dat's old file still under its old name
  kGivenUp,       // replaced, then given up (U): to be put back
};

const char kStagedA[] = "game/~upd0.tmp";
const char kOldA[] = "game/~upd1.tmp";
const char kStagedB[] = "game/~upd2.tmp";

class Recovery : public UpdateRunTest {
 protected:
  void LeaveKilledRun(Reached reached) {
    Install({{"game/a.dat", "old a", kOldTime},
             {"game/data/", "", 0},
             {kStagedA, "new a", kEntryTime},
             {kStagedB, "new b!", kEntryTime}});
    const bool replacing = reached != Reached::kStaged && reached != Reached::kCommitted;
    if (replacing) {
      ASSERT_EQ(0, rename(Host("game/a.dat").c_str(), Host(kOldA).c_str()));
    }
    if (reached == Reached::kReplaced || reached == Reached::kGivenUp) {
      ASSERT_EQ(0, rename(Host(kStagedA).c_str(), Host("game/a.dat").c_str()));
      ASSERT_EQ(0, rename(Host(kStagedB).c_str(), Host("game/b.dat").c_str()));
    }
    // The run made the old file writable before staging.
    chmod(Host(replacing ? kOldA : "game/a.dat").c_str(), 0666);

    win::Handle journal = CreateJournal();
    ASSERT_NE(win::InvalidHandle(), journal);
    TargetRecord a = Target("C:\\game\\a.dat", true);
    TargetRecord b = Target("C:\\game\\b.dat", false);
    ASSERT_TRUE(JournalFolder(journal, "C:\\game\\data"));
    ASSERT_TRUE(JournalTarget(journal, 0, a));
    ASSERT_TRUE(JournalStaged(journal, 0, "C:\\game\\~upd0.tmp"));
    ASSERT_TRUE(JournalOldFileName(journal, 0, "C:\\game\\~upd1.tmp"));
    ASSERT_TRUE(JournalTarget(journal, 1, b));
    ASSERT_TRUE(JournalStaged(journal, 1, "C:\\game\\~upd2.tmp"));
    if (reached != Reached::kStaged) {
      Written(&a, 5);
      Written(&b, 6);
      ASSERT_TRUE(JournalWritten(journal, 0, a));
      ASSERT_TRUE(JournalWritten(journal, 1, b));
      ASSERT_TRUE(JournalCommitted(journal));
    }
    if (reached == Reached::kGivenUp) {
      ASSERT_TRUE(JournalUndone(journal));
    }
    systemFunctions.CloseHandle(journal);  // the run is killed here
  }

  static TargetRecord Target(const char* path, bool existed) {
    TargetRecord r{};
    CopyText(r.target, kPathSize, path);
    r.attributes = existed ? win::kAttributeReadonly : win::kInvalidFileAttributes;
    r.timesKnown = existed;
    r.times[0] = r.times[1] = r.times[2] = win::ToFileTime(kOldTime);
    return r;
  }

  static void Written(TargetRecord* r, uint64_t size) {
    r->written = true;
    r->writtenSize = size;
    r->writtenTime = r->newTime = win::ToFileTime(kEntryTime);
    r->hasNewTime = true;
  }

  std::string Host(const std::string& relative) const { return DriveC() + "/" + relative; }
  std::string JournalHostPath() const { return Host("game/~UPD.JNL"); }

  // Every file under C:\game with its content.
  std::map<std::string, std::string> Files() const {
    std::map<std::string, std::string> files;
    for (const auto& [path, state] : Installation()) files[path] = state.content;
    return files;
  }

  bool ReadOnly(const std::string& relative) const {
    struct stat st;
    return stat(Host(relative).c_str(), &st) == 0 && (st.st_mode & 0222) == 0;
  }

  const std::map<std::string, std::string> kAllOld = {{"game/a.dat", "old a"}};
  const std::map<std::string, std::string> kAllNew = {
      {"game/a.dat", "new a"}, {"game/b.dat", "new b!"}, {"game/data/", ""}};
};

struct KilledCase {
  const char* name;
  Reached reached;
  bool finished;  // all new afterwards, else all old
};

class KilledRun : public Recovery, public ::testing::WithParamInterface<KilledCase> {};

TEST_P(KilledRun, IsUndoneBeforeItCommittedAndFinishedAfter) {
  LeaveKilledRun(GetParam().reached);
  EXPECT_TRUE(RecoverInterruptedUpdate());
  EXPECT_EQ(GetParam().finished ? kAllNew : kAllOld, Files());
  const auto installed = Installation();
  const uint64_t expectedTime = GetParam().finished ? kEntryTime : kOldTime;
  EXPECT_EQ(expectedTime, installed.at("game/a.dat").time);
  EXPECT_EQ(!GetParam().finished, ReadOnly("game/a.dat"));
  EXPECT_FALSE(HostFileExists(JournalHostPath()));
  EXPECT_TRUE(messages.empty());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Recovery, KilledRun,
    ::testing::Values(KilledCase{"Staged", Reached::kStaged, false},
                      KilledCase{"Committed", Reached::kCommitted, true},
                      KilledCase{"HalfReplaced", Reached::kHalfReplaced, true},
                      KilledCase{"Replaced", Reached::kReplaced, true},
                      KilledCase{"GivenUp", Reached::kGivenUp, false}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// The player played between the killed run and the next start: the file
// that the player saved is theirs, whichever way the run is ended.
struct PlayerCase {
  const char* name;
  Reached reached;
  const char* changed;  // the file the player wrote
  std::map<std::string, std::string> after;
};

class PlayersFile : public Recovery, public ::testing::WithParamInterface<PlayerCase> {};

TEST_P(PlayersFile, IsNeverOverwrittenOrRemoved) {
  LeaveKilledRun(GetParam().reached);
  WriteHostFile(Host(GetParam().changed), "chapter 5");  // written now: a time of its own
  EXPECT_TRUE(RecoverInterruptedUpdate());
  EXPECT_EQ(GetParam().after, Files());
  EXPECT_FALSE(HostFileExists(JournalHostPath()));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Recovery, PlayersFile,
    ::testing::Values(
        // Finished: the new a.dat that the player saved over stays, its old
        // file goes.
        PlayerCase{"SavedOverTheNewFile", Reached::kReplaced, "game/a.dat",
                   {{"game/a.dat", "chapter 5"}, {"game/b.dat", "new b!"}, {"game/data/", ""}}},
        // Finished: the old a.dat that the player saved over before the
        // replace is not replaced.
        PlayerCase{"SavedOverTheOldFile", Reached::kCommitted, "game/a.dat",
                   {{"game/a.dat", "chapter 5"}, {"game/b.dat", "new b!"}, {"game/data/", ""}}},
        // Finished: a file that the player made in the empty place stays.
        PlayerCase{"MadeInTheEmptyPlace", Reached::kHalfReplaced, "game/a.dat",
                   {{"game/a.dat", "chapter 5"}, {"game/b.dat", "new b!"}, {"game/data/", ""}}},
        // Undone: the saved old a.dat keeps the player's content.
        PlayerCase{"SavedBeforeTheUndo", Reached::kStaged, "game/a.dat",
                   {{"game/a.dat", "chapter 5"}}},
        // Undone after giving up: the new files that the player changed stay.
        PlayerCase{"SavedOverANewFileGivenUp", Reached::kGivenUp, "game/b.dat",
                   {{"game/a.dat", "old a"}, {"game/b.dat", "chapter 5"}}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(Recovery, AFolderThatNowHoldsThePlayersFilesStaysAndTheNextUpdateRuns) {
  LeaveKilledRun(Reached::kStaged);
  WriteHostFile(Host("game/data/screenshot.png"), "picture");
  EXPECT_TRUE(RecoverInterruptedUpdate());
  EXPECT_EQ(
      (std::map<std::string, std::string>{
          {"game/a.dat", "old a"}, {"game/data/", ""}, {"game/data/screenshot.png", "picture"}}),
      Files());
  EXPECT_FALSE(HostFileExists(JournalHostPath()));

  UseUpdateLines("UpdateFile00=new.dat\r\n");
  RunUpdate(dialog_);
  ExpectComplete();
}

TEST_F(Recovery, ARecordCutShortIsTheLastAndTheRecordsBeforeItAreActedOn) {
  LeaveKilledRun(Reached::kStaged);
  std::string text = ReadHostFile(JournalHostPath());
  // The run was killed while writing b's S record, before b was staged; a
  // power cut may also leave zeros where the record was going.
  RemoveHostFile(kStagedB);
  const size_t cut = text.rfind("S 1 ");
  for (const std::string& tail : {text.substr(cut, 7), std::string(24, '\0')}) {
    WriteHostFile(JournalHostPath(), text.substr(0, cut) + tail);
    Install({{kStagedA, "new a", kEntryTime}});
    EXPECT_TRUE(RecoverInterruptedUpdate());
    EXPECT_EQ(kAllOld, Files());
    EXPECT_FALSE(HostFileExists(JournalHostPath()));
    Install({{"game/data/", "", 0}});
  }
}

// A journal line as the run writes it: the record, a tab, its FNV-1a sum.
std::string JournalLine(const std::string& record) {
  uint32_t sum = 2166136261u;
  for (unsigned char c : record) sum = (sum ^ c) * 16777619u;
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08x", sum);
  return record + "\t" + hex + "\r\n";
}

// Journals that are not acted on: the disk stays as it is, the journal is
// moved aside to ~UPD.BAD, and the next update completes.
struct SetAsideCase {
  const char* name;
  // Rewrites the journal text of a killed, committed run.
  std::string (*rewrite)(const std::string& text);
};

class JournalNotActedOn : public Recovery, public ::testing::WithParamInterface<SetAsideCase> {};

TEST_P(JournalNotActedOn, IsSetAsideAndChangesNothing) {
  LeaveKilledRun(Reached::kHalfReplaced);
  const std::string text = GetParam().rewrite(ReadHostFile(JournalHostPath()));
  WriteHostFile(JournalHostPath(), text);
  auto expected = Files();
  expected.erase("game/~UPD.JNL");
  expected["game/~UPD.BAD"] = text;
  EXPECT_TRUE(RecoverInterruptedUpdate());
  EXPECT_TRUE(expected == Files()) << "the disk changed beyond the journal's name";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Recovery, JournalNotActedOn,
    ::testing::Values(
        SetAsideCase{"DamagedInItsMiddle",
                     [](const std::string& t) {
                       std::string damaged = t;
                       damaged[damaged.find("K 0 ") + 5] ^= 1;
                       return damaged;
                     }},
        SetAsideCase{"ARecordThatMakesNoSense",
                     [](const std::string& t) {
                       const size_t cut = t.find("S 0 ");
                       return t.substr(0, cut) + JournalLine("S 7 C:\\game\\~upd0.tmp") +
                              t.substr(cut);
                     }},
        SetAsideCase{"AnIndexOfTooManyDigits",
                     [](const std::string& t) {
                       const size_t cut = t.find("S 0 ");
                       return t.substr(0, cut) +
                              JournalLine("K 99999999999999999999 C:\\game\\a.dat") +
                              t.substr(cut);
                     }},
        SetAsideCase{"ARecordAfterCommitting",
                     [](const std::string& t) { return t + JournalLine("F C:\\game\\more"); }},
        SetAsideCase{"AnotherVersion",
                     [](const std::string& t) {
                       return JournalLine("UPDJ 1") + t.substr(t.find("\r\n") + 2);
                     }},
        SetAsideCase{"TooLarge",
                     [](const std::string& t) {
                       std::string large = t;
                       while (large.size() <= 0x10000) large += JournalLine("C");
                       return large;
                     }}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(Recovery, AFolderInTheJournalsPlaceIsMovedAsideAndTheUpdateRuns) {
  Install({{"game/a.dat", "old a", kOldTime}, {"game/~UPD.JNL/", "", 0}});
  EXPECT_TRUE(RecoverInterruptedUpdate());
  EXPECT_FALSE(HostFileExists(JournalHostPath()));
  UseUpdateLines("UpdateFile00=new.dat\r\n");
  RunUpdate(dialog_);
  ExpectComplete();
}

TEST_F(Recovery, AJournalInUseByAnotherUpdaterIsLeftAlone) {
  LeaveKilledRun(Reached::kStaged);
  const auto before = Files();
  win::Handle held =
      systemFunctions.CreateFileA("C:\\game\\~UPD.JNL", win::kGenericRead, 0, nullptr,
                                  win::kOpenExisting, win::kAttributeNormal, nullptr);
  ASSERT_NE(win::InvalidHandle(), held);
  EXPECT_FALSE(RecoverInterruptedUpdate());
  EXPECT_EQ(before, Files());
  systemFunctions.CloseHandle(held);
  EXPECT_TRUE(RecoverInterruptedUpdate());
  EXPECT_EQ(kAllOld, Files());
}

TEST_F(Recovery, AJournalThatFailsToBeReadStaysForTheNextTry) {
  LeaveKilledRun(Reached::kReplaced);
  const auto before = Files();
  {
    FaultInjector injector;
    injector.FailAt("ReadFile", 1);
    EXPECT_FALSE(RecoverInterruptedUpdate());
  }
  EXPECT_EQ(before, Files());
  EXPECT_TRUE(RecoverInterruptedUpdate());
  EXPECT_EQ(kAllNew, Files());
}

// A run killed while the game held a file: the start cannot end it, the
// update run ends it before it makes its own journal.
TEST_F(Recovery, ARunThatCouldNotBeEndedAtStartUpIsEndedBeforeTheNextRun) {
  LeaveKilledRun(Reached::kHalfReplaced);
  {
    FaultInjector injector;
    injector.FailAt("MoveFileExA", 1, /*lasting=*/true);
    EXPECT_FALSE(RecoverInterruptedUpdate());
  }
  EXPECT_TRUE(HostFileExists(JournalHostPath()));
  UseUpdateLines("UpdateFile00=new.dat\r\n");
  RunUpdate(dialog_);
  ExpectComplete();
  EXPECT_FALSE(HostFileExists(JournalHostPath()));
  EXPECT_EQ("new b!", ReadHostFile(Host("game/b.dat")));
}

TEST_F(Recovery, AReadOnlyJournalIsReadAndRemoved) {
  LeaveKilledRun(Reached::kStaged);
  chmod(JournalHostPath().c_str(), 0444);
  EXPECT_TRUE(RecoverInterruptedUpdate());
  EXPECT_EQ(kAllOld, Files());
}

TEST_F(Recovery, WithoutAJournalNothingChanges) {
  Install({{"game/a.dat", "old a", kOldTime}, {"game/~upd0.tmp", "someone's", kOldTime}});
  EXPECT_TRUE(RecoverInterruptedUpdate());
  EXPECT_EQ((std::map<std::string, std::string>{{"game/a.dat", "old a"},
                                                {"game/~upd0.tmp", "someone's"}}),
            Files());
}

TEST_F(Recovery, AFolderRecordedAgainAfterAFailedTryDoesNotEndTheJournal) {
  Install(
      {{"save/data/", "", 0}, {"game/data/", "", 0}, {"game/data/~upd0.tmp", "new", kEntryTime}});
  win::Handle journal = CreateJournal();
  ASSERT_NE(win::InvalidHandle(), journal);
  for (const char* folder : {"C:\\save\\data", "C:\\save\\data", "C:\\game\\data"}) {
    ASSERT_TRUE(JournalFolder(journal, folder));
  }
  TargetRecord made = Target("C:\\game\\data\\new.dat", false);
  ASSERT_TRUE(JournalTarget(journal, 0, made));
  ASSERT_TRUE(JournalStaged(journal, 0, "C:\\game\\data\\~upd0.tmp"));
  systemFunctions.CloseHandle(journal);

  EXPECT_TRUE(RecoverInterruptedUpdate());
  EXPECT_TRUE(Files().empty()) << Files().size();
}

TEST_F(Recovery, AJournalCutShortInItsHeaderIsOnlyRemoved) {
  Install({{"game/a.dat", "old a", kOldTime}});
  WriteHostFile(JournalHostPath(), "UPD");
  EXPECT_TRUE(RecoverInterruptedUpdate());
  EXPECT_EQ(kAllOld, Files());
  EXPECT_FALSE(HostFileExists(JournalHostPath()));
}

}  // namespace
}  // namespace update_run_test
