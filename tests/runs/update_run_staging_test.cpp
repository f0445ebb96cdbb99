// Staging and replacing the update's files: names beside a target for every
// target path that fits, stale files of killed runs of old, all three times
// of a written file set after the replace and those of a file put back, and
// a journal that cannot be made.
#include <sys/stat.h>

#include "tests/runs/update_run_bench.h"

namespace update_run_test {
namespace {

const Message kWriteFailed{"ファイルの書き込みに失敗しました", kErrorBox};

// A folder name that makes "C:\game\<name>\new.dat" 258 bytes long, the
// longest target that the run accepts (with the path's second NUL).
const std::string kLongFolder(258 - std::string("C:\\game\\\\new.dat").size(), 'f');

TEST_F(UpdateRunTest, TheLongestTargetIsWrittenAndReplaced) {
  Install({{"game/" + kLongFolder + "/", "", 0},
           {"game/" + kLongFolder + "/new.dat", "old", kOldTime},
           {"game/" + kLongFolder + "/opt.dat", "old option", kOldTime}});
  UseUpdateLines("UpdateFile00=" + kLongFolder + "\\new.dat\r\nUpdateFile01=" + kLongFolder +
                 "\\opt.dat\r\n");
  RunUpdate(dialog_);
  ExpectComplete();
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(Expected({{"game/" + kLongFolder + "/", "", 0}},
                     {{"game/" + kLongFolder + "/new.dat", "new data", kEntryTime},
                      {"game/" + kLongFolder + "/opt.dat", "option", kEntryTime}}),
            Installation());
}

TEST_F(UpdateRunTest, TheLongestFailedTargetIsPutBack) {
  Install({{"game/" + kLongFolder + "/", "", 0},
           {"game/" + kLongFolder + "/new.dat", "old", kOldTime}});
  UseUpdateLines("UpdateFile00=" + kLongFolder + "\\new.dat\r\nUpdateFile01=missing.dat\r\n");
  RunUpdate(dialog_);
  ExpectFailed();
  EXPECT_EQ(Expected({{"game/" + kLongFolder + "/", "", 0},
                      {"game/" + kLongFolder + "/new.dat", "old", kOldTime}},
                     {}),
            Installation());
}

TEST_F(UpdateRunTest, StaleTemporaryFilesOfOldRunsAreNoObstacle) {
  std::vector<Installed> stale;
  for (int i = 0; i < 64; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "game/~upd%04x.tmp", i);
    stale.push_back({name, "stale", kOldTime});
    std::snprintf(name, sizeof name, "game/~upd%x.tmp", i);
    stale.push_back({name, "stale", kOldTime});
  }
  stale.push_back({"game/new.dat", "old", kOldTime});
  Install(stale);
  UseUpdateLines("UpdateFile00=new.dat\r\n");
  RunUpdate(dialog_);
  ExpectComplete();
  stale.pop_back();
  EXPECT_EQ(Expected(stale, {{"game/new.dat", "new data", kEntryTime}}), Installation());
}

// A rename that gives the file the times of the name's former owner, as
// NTFS does for a name removed a moment before (creation time; here all).
decltype(PlatformOperations::MoveFileExA) realMove;
win::Bool WINAPI_CC MoveLendingOldTimes(const char* from, const char* to, win::Dword flags) {
  if (!realMove(from, to, flags)) return 0;
  win::Handle file =
      systemFunctions.CreateFileA(to, win::kFileWriteAttributes, 0, nullptr, win::kOpenExisting,
                                  win::kAttributeNormal, nullptr);
  win::FileTime lent = win::ToFileTime(kOldTime - 77);
  platform.SetFileTime(file, &lent, &lent, &lent);
  systemFunctions.CloseHandle(file);
  return 1;
}

TEST_F(UpdateRunTest, AllThreeTimesAreSetAfterTheReplace) {
  realMove = platform.MoveFileExA;
  platform.MoveFileExA = MoveLendingOldTimes;
  Install({{"game/new.dat", "old", kOldTime}});
  UseUpdateLines("UpdateFile00=new.dat\r\n");
  RunUpdate(dialog_);
  ExpectComplete();
  win::Handle file =
      systemFunctions.CreateFileA("C:\\game\\new.dat", win::kGenericRead, 0, nullptr,
                                  win::kOpenExisting, win::kAttributeNormal, nullptr);
  win::FileTime times[3];
  ASSERT_TRUE(platform.GetFileTime(file, &times[0], &times[1], &times[2]));
  systemFunctions.CloseHandle(file);
  for (const win::FileTime& t : times) EXPECT_EQ(kEntryTime, win::ToUint64(t));
}

TEST_F(UpdateRunTest, AFilePutBackKeepsItsOwnTimesAndReadOnlyState) {
  realMove = platform.MoveFileExA;
  platform.MoveFileExA = MoveLendingOldTimes;
  Install({{"game/new.dat", "old", kOldTime}});
  const std::string host = DriveC() + "/game/new.dat";
  struct timespec times[2] = {Timespec(kOldTime + 3), Timespec(kOldTime)};
  ASSERT_EQ(0, utimensat(AT_FDCWD, host.c_str(), times, 0));
  chmod(host.c_str(), 0444);
  UseUpdateLines("UpdateFile00=new.dat\r\nUpdateFile01=nosub\\opt.dat\r\n");
  RunUpdate(dialog_);
  ExpectFailed();
  struct stat st;
  ASSERT_EQ(0, stat(host.c_str(), &st));
  EXPECT_EQ(kOldTime + 3, Ticks(st.st_atim));
  EXPECT_EQ(kOldTime, Ticks(st.st_mtim));
  EXPECT_EQ(0u, st.st_mode & 0222);
  EXPECT_EQ("old", ReadHostFile(host));
}

TEST_F(UpdateRunTest, AJournalThatCannotBeMadeStopsTheRunBeforeAnythingChanges) {
  Install({{"game/new.dat", "old", kOldTime}, {"game/~UPD.JNL", "another run's", kOldTime}});
  win::Handle held =
      systemFunctions.CreateFileA("C:\\game\\~UPD.JNL", win::kGenericRead, 0, nullptr,
                                  win::kOpenExisting, win::kAttributeNormal, nullptr);
  UseUpdateLines("UpdateFile00=new.dat\r\n");
  RunUpdate(dialog_);
  systemFunctions.CloseHandle(held);
  ExpectFailed();
  EXPECT_EQ(InSjis({kWriteFailed}), Messages());
  EXPECT_EQ(
      Expected({{"game/new.dat", "old", kOldTime}, {"game/~UPD.JNL", "another run's", kOldTime}},
               {}),
      Installation());
}

}  // namespace
}  // namespace update_run_test
