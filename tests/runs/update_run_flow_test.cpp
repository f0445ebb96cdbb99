// The update run's flow around the table cases: the free-space stop and the
// run after it, the wizard while work is under way, a disc inserted at the
// prompt, an aborted copy, attributes after copying, and the "d" rewrite
// when the installed file cannot be read whole.
#include <sys/wait.h>

#include "tests/runs/update_run_bench.h"
#include "update/recover_update.h"
#include "wizard/set_info_text.h"

namespace update_run_test {
namespace {

// ---- Free space ----

uint64_t fakeFreeBytes;
bool fakeFreeSpaceFails;
std::vector<std::string> askedDrives;

win::Bool WINAPI_CC FakeFreeSpace(const char* drive, uint64_t* freeToCaller, uint64_t*, uint64_t*) {
  askedDrives.push_back(drive);
  if (fakeFreeSpaceFails) return 0;
  *freeToCaller = fakeFreeBytes;
  return 1;
}

struct SpaceCase {
  const char* requiredLine;  // the RequiredDiskSpace line, or none
  bool fails;                // the query fails
  const char* shortfall;     // expected in the info line; null: no stop
};

class FreeSpace : public UpdateRunTest, public ::testing::WithParamInterface<SpaceCase> {};

TEST_P(FreeSpace, StopsOnlyWhenTheRequiredBytesAreNotFree) {
  const SpaceCase& c = GetParam();
  platform.GetDiskFreeSpaceExA = FakeFreeSpace;
  askedDrives.clear();
  fakeFreeBytes = 100;  // "new data" (8 bytes) fits
  fakeFreeSpaceFails = c.fails;
  UseUpdateLines(std::string(c.requiredLine) + "UpdateFile00=new.dat\r\n");

  RunUpdate(dialog_);

  if (c.shortfall == nullptr) {
    EXPECT_EQ("new data", ReadHostFile(DriveC() + "/game/new.dat"));
    ExpectComplete();
    return;
  }
  EXPECT_EQ(Sjis(std::string("ディスク容量が足りません。\rC: ドライブに ") + c.shortfall +
                 " バイトの空き容量が必要です"),
            InfoLine());
  EXPECT_EQ(std::vector<std::string>{"C:"}, askedDrives);
  EXPECT_TRUE(Control(kIdBack)->enabled);
  EXPECT_FALSE(Control(kIdNext)->enabled);
  EXPECT_TRUE(Control(kIdCancel)->enabled);
  EXPECT_EQ(0u, StandinCursorId());  // the run never got busy
  EXPECT_FALSE(StandinDialogEnded(dialog_, nullptr));
  EXPECT_FALSE(HostFileExists(DriveC() + "/game/new.dat"));
  EXPECT_TRUE(messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FreeSpace,
    ::testing::Values(SpaceCase{"", false, nullptr},
                      SpaceCase{"RequiredDiskSpace=0\r\n", false, nullptr},
                      SpaceCase{"RequiredDiskSpace=lots\r\n", false, nullptr},
                      SpaceCase{"RequiredDiskSpace=100\r\n", false, nullptr},  // equal is enough
                      SpaceCase{"RequiredDiskSpace=101\r\n", false, "1"},
                      SpaceCase{"RequiredDiskSpace=5000\r\n", false, "4900"},
                      // Taken as unsigned 32 bits.
                      SpaceCase{"RequiredDiskSpace=-1\r\n", false, "4294967195"},
                      // A drive that cannot be asked does not stop the run.
                      SpaceCase{"RequiredDiskSpace=5000\r\n", true, nullptr}));

TEST_F(UpdateRunTest, AfterAFreeSpaceStopTheNextRunStartsFromTheBeginning) {
  platform.GetDiskFreeSpaceExA = FakeFreeSpace;
  fakeFreeSpaceFails = false;
  fakeFreeBytes = 10;
  UseUpdateLines("RequiredDiskSpace=50\r\nUpdateFile00=new.dat\r\nCopyFile00=1:readme.txt\r\n");
  RunUpdate(dialog_);
  ASSERT_TRUE(Control(kIdBack)->enabled);

  fakeFreeBytes = 1000;  // room was made; Back and Next run the update again
  RunUpdate(dialog_);
  ExpectComplete();
  EXPECT_EQ("new data", ReadHostFile(DriveC() + "/game/new.dat"));
  EXPECT_EQ("read me", ReadHostFile(DriveC() + "/game/readme.txt"));
  EXPECT_EQ(1, updaterState.updateItemCount);
  EXPECT_EQ(1, updaterState.copyItemCount);
  EXPECT_EQ(1u, shellCalls.size());
}

// Staging asks once, before anything is written, for the room of every
// item on each drive: "new data" (8 bytes) and "option" (6) in the install
// folder on C:, "fresh save" (10) in the data folder on F:.
struct RoomCase {
  uint64_t freeBytes;
  const char* message;             // null: the run completes
  std::vector<std::string> asked;  // the drives asked, in order
};

class StagingRoom : public UpdateRunTest, public ::testing::WithParamInterface<RoomCase> {};

TEST_P(StagingRoom, IsAskedOnceForAllItemsOnEachDrive) {
  platform.GetDiskFreeSpaceExA = FakeFreeSpace;
  fakeFreeSpaceFails = false;
  askedDrives.clear();
  fakeFreeBytes = GetParam().freeBytes;
  CopyText(updaterState.dataPath, kPathSize, "F:\\save");
  Install({{"hd/save/", "", 0}});
  UseUpdateLines("UpdateFile00=new.dat\r\nUpdateFile01=opt.dat\r\nUpdateFile02=d,save.dat\r\n");

  RunUpdate(dialog_);

  EXPECT_EQ(GetParam().asked, askedDrives);
  if (GetParam().message == nullptr) {
    ExpectComplete();
    EXPECT_EQ("option", ReadHostFile(DriveC() + "/game/opt.dat"));
    EXPECT_EQ("fresh save", ReadHostFile(DriveC() + "/hd/save/save.dat"));
    return;
  }
  EXPECT_EQ(InSjis({{GetParam().message, win::kMbIconError},
                    {"ファイルの書き込みに失敗しました", win::kMbIconError}}),
            Messages());
  EXPECT_FALSE(HostFileExists(DriveC() + "/game/new.dat"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StagingRoom,
    ::testing::Values(
        RoomCase{
            13, "ディスク容量が足りません。C: ドライブに 1 バイトの空き容量が必要です", {"C:"}},
        RoomCase{14, nullptr, {"C:", "F:"}}));

TEST_F(UpdateRunTest, ASecondRunRebuildsBothLists) {
  UseUpdateLines("UpdateFile00=new.dat\r\nUpdateFile01=opt.dat\r\nCopyFile00=1:readme.txt\r\n");
  RunUpdate(dialog_);
  UseUpdateLines("UpdateFile00=new.dat\r\n");
  RunUpdate(dialog_);
  EXPECT_EQ(1, updaterState.updateItemCount);
  EXPECT_EQ(0, updaterState.copyItemCount);
  EXPECT_EQ(1u, shellCalls.size());  // only the first run copied
}

// ---- The wizard while the run works ----

struct WizardSnapshot {
  std::string info;
  bool back, next, cancel;
  unsigned cursor;
};
std::vector<WizardSnapshot> snapshots;

void Snapshot() {
  win::Hwnd dialog = updaterState.ownerWindow;
  snapshots.push_back({FindStandinControl(dialog, kIdInfo)->text,
                       FindStandinControl(dialog, kIdBack)->enabled,
                       FindStandinControl(dialog, kIdNext)->enabled,
                       FindStandinControl(dialog, kIdCancel)->enabled, StandinCursorId()});
}

int WINAPI_CC SnapshotThenCopy(win::ShFileOp* op) {
  Snapshot();
  return UpdateRunTest::WatchedShellCopy(op);
}

decltype(PlatformOperations::MoveFileExA) realMove;
win::Bool WINAPI_CC SnapshotThenMove(const char* from, const char* to, win::Dword flags) {
  Snapshot();
  return realMove(from, to, flags);
}

TEST_F(UpdateRunTest, WhileWorkingTheButtonsAreOffTheCursorWaitsAndTheInfoLineTells) {
  snapshots.clear();
  realMove = platform.MoveFileExA;
  platform.MoveFileExA = SnapshotThenMove;
  systemFunctions.SHFileOperationA = SnapshotThenCopy;
  UseUpdateLines("UpdateFile00=new.dat\r\nCopyFile00=1:readme.txt\r\nCopyFile01=movie\r\n");

  RunUpdate(dialog_);

  // The file and the folder are copied while staging; new.dat and
  // readme.txt then take their places, and the folder is merged.
  const std::string readme = Sjis("readme.txt をコピーしています");
  const std::string movie = Sjis("movie をコピーしています");
  const std::vector<std::string> expectedInfo = {readme, movie, movie, movie, movie};
  ASSERT_EQ(expectedInfo.size(), snapshots.size());
  for (size_t i = 0; i < expectedInfo.size(); ++i) {
    EXPECT_EQ(expectedInfo[i], snapshots[i].info);
    EXPECT_FALSE(snapshots[i].back);
    EXPECT_FALSE(snapshots[i].next);
    EXPECT_FALSE(snapshots[i].cancel);
    EXPECT_EQ(win::kIdcWait, snapshots[i].cursor);
  }
  ExpectComplete();
}

TEST_F(UpdateRunTest, InfoTextIsCutToItsBuffer) {
  std::string longWord(2000, 'w');
  SetInfoText(dialog_, "%s!", longWord.c_str());
  EXPECT_EQ(std::string(1023, 'w'), InfoLine());
  SetInfoText(dialog_, Sjis("%sを実行します").c_str(), Sjis("アップデート").c_str());
  EXPECT_EQ(Sjis("アップデートを実行します"), InfoLine());
}

// ---- Discs and copies ----

// Puts disc 2 into the empty CD-ROM drive D: when asked for it.
std::string emptyDriveFolder;
int WINAPI_CC InsertDiscWhenAsked(win::Hwnd owner, const char* text, const char* caption,
                                  win::Uint type) {
  UpdaterTest::messages.push_back({text, caption, owner, type});
  WriteHostFile(emptyDriveFolder + "/DISK2.CHK", "disc 2");
  WriteHostFile(emptyDriveFolder + "/extra.dat", "extra");
  return win::kIdOk;
}

TEST_F(UpdateRunTest, ADiscInsertedAtThePromptIsFoundByTheNextSearch) {
  emptyDriveFolder = DriveC() + "/cd-empty";
  platform.MessageBoxA = InsertDiscWhenAsked;
  UseUpdateLines("CopyFile00=2:extra.dat\r\n");

  RunUpdate(dialog_);

  ASSERT_EQ(1u, messages.size());
  EXPECT_EQ(win::kMbOkCancel, messages[0].type);
  EXPECT_EQ((std::vector<ShellCall>{{"D:\\extra.dat", "C:\\game\\~upd0.tmp", 528}}), shellCalls);
  EXPECT_EQ("extra", ReadHostFile(DriveC() + "/game/extra.dat"));
  ExpectComplete();
}

// The file copy is staged with the update items: aborting it leaves the
// installation as it was, the archive's items included.
TEST_F(UpdateRunTest, AnAbortedCopyEndsTheRunWithoutAMessageAndNothingWritten) {
  abortShellCopy = true;
  Install({{"game/readme.txt", "old read me", kOldTime}});
  UseUpdateLines("UpdateFile00=new.dat\r\nCopyFile00=1:readme.txt\r\nCopyFile01=movie\r\n");
  RunUpdate(dialog_);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(1u, shellCalls.size());  // the second item is not copied
  EXPECT_EQ(Expected({{"game/readme.txt", "old read me", kOldTime}}, {}), Installation());
  ExpectFailed();
}

int WINAPI_CC CopyThenDie(win::ShFileOp* op) {
  UpdateRunTest::WatchedShellCopy(op);
  _exit(99);  // killed as the copy from the disc ends
}

// Killed as it copied a file from the disc: the archive's items were staged
// and nothing was replaced, so the next start puts everything back.
TEST_F(UpdateRunTest, ARunKilledWhileCopyingFromTheDiscIsUndoneByTheNextStart) {
  Install({{"game/readme.txt", "old read me", kOldTime}, {"game/new.dat", "old", kOldTime}});
  UseUpdateLines("UpdateFile00=new.dat\r\nCopyFile00=1:readme.txt\r\n");
  const auto before = Installation();
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    systemFunctions.SHFileOperationA = CopyThenDie;
    RunUpdate(dialog_);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 99);
  EXPECT_NE(before, Installation());  // the staged files and the journal

  EXPECT_TRUE(RecoverInterruptedUpdate());
  EXPECT_EQ(before, Installation());
}

// The merge of a copied folder comes after the commit: killed during it,
// or failing, the run is finished by the next start, never put back.
int WINAPI_CC MergeThenDie(win::ShFileOp* op) {
  const bool merge = std::strncmp(op->pFrom, "C:", 2) == 0;
  const int result = UpdateRunTest::WatchedShellCopy(op);
  if (merge) _exit(99);  // killed as the merge ends, before the copy folder goes
  return result;
}
int WINAPI_CC FailTheMerge(win::ShFileOp* op) {
  if (std::strncmp(op->pFrom, "C:", 2) == 0) return 5;
  return UpdateRunTest::WatchedShellCopy(op);
}

struct MergeCase {
  const char* name;
  int(WINAPI_CC* shell)(win::ShFileOp*);
  bool inChild;  // the run is killed, else it fails
};

class MergedFolder : public UpdateRunTest, public ::testing::WithParamInterface<MergeCase> {};

TEST_P(MergedFolder, ThatWasCutShortIsFinishedByTheNextStart) {
  Install({{"game/new.dat", "old", kOldTime}});
  UseUpdateLines("UpdateFile00=new.dat\r\nCopyFile00=1:movie\r\n");
  if (GetParam().inChild) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
      systemFunctions.SHFileOperationA = GetParam().shell;
      RunUpdate(dialog_);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 99);
  } else {
    systemFunctions.SHFileOperationA = GetParam().shell;
    RunUpdate(dialog_);
    EXPECT_EQ(InSjis({{"ファイルの書き込みに失敗しました", win::kMbIconError}}), Messages());
    ExpectFailed();
    systemFunctions.SHFileOperationA = UpdateRunTest::WatchedShellCopy;
  }
  EXPECT_TRUE(HostFileExists(DriveC() + "/game/~UPD.JNL"));

  EXPECT_TRUE(RecoverInterruptedUpdate());
  EXPECT_EQ(Expected({}, {{"game/new.dat", "new data", kEntryTime},
                          {"game/movie/", "", 0},
                          {"game/movie/op.mpg", "opening", kOldTime}}),
            Installation());
}

INSTANTIATE_TEST_SUITE_P(Cases, MergedFolder,
                         ::testing::Values(MergeCase{"Killed", MergeThenDie, true},
                                           MergeCase{"Failing", FailTheMerge, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// A program of the player puts a link in place of the copied folder before
// the merge: the elevated run reads nothing through it.
std::string driveC;
int WINAPI_CC CopyThenPlantLink(win::ShFileOp* op) {
  const int result = UpdateRunTest::WatchedShellCopy(op);
  if (std::strncmp(op->pFrom, "E:", 2) == 0) {
    const std::string copied = driveC + "/game/~upd1.tmp/movie";
    std::system(("rm -rf '" + copied + "'").c_str());
    if (symlink("../../secret", copied.c_str()) != 0) return 5;
  }
  return result;
}

TEST_F(UpdateRunTest, ALinkInPlaceOfACopiedFolderIsNotMergedThrough) {
  driveC = DriveC();
  Install({{"secret/", "", 0}, {"secret/key.txt", "administrators only", kOldTime}});
  UseUpdateLines("UpdateFile00=new.dat\r\nCopyFile00=1:movie\r\n");
  systemFunctions.SHFileOperationA = CopyThenPlantLink;
  RunUpdate(dialog_);
  systemFunctions.SHFileOperationA = UpdateRunTest::WatchedShellCopy;
  RecoverInterruptedUpdate();
  EXPECT_FALSE(HostFileExists(DriveC() + "/game/movie/key.txt"));
  EXPECT_FALSE(HostFileExists(DriveC() + "/game/key.txt"));
  EXPECT_EQ("administrators only", ReadHostFile(DriveC() + "/secret/key.txt"));
}

TEST_F(UpdateRunTest, TheCopiedFileAndTheInstallFolderLoseTheirReadOnlyState) {
  UseUpdateLines("CopyFile00=1:readme.txt\r\nCopyFile01=movie\r\n");
  RunUpdate(dialog_);
  ExpectComplete();
  EXPECT_EQ(win::kAttributeNormal, systemFunctions.GetFileAttributesA("C:\\game\\readme.txt"));
  // A folder copy resets the install folder only; what it copied keeps its state.
  EXPECT_EQ(win::kAttributeReadonly, systemFunctions.GetFileAttributesA("C:\\game\\movie\\op.mpg"));
}

// ---- "d" items whose file cannot be read whole ----

enum class ReadFault { kOpen, kSize, kAllocate, kRead, kShortRead };
ReadFault activeFault;
SystemFunctionTable realSystem;
PlatformOperations realPlatform;
int openHandles;
int liveBlocks;

win::Handle WINAPI_CC FaultyCreate(const char* path, win::Dword access, win::Dword share,
                                   void* security, win::Dword disposition, win::Dword flags,
                                   win::Handle templateFile) {
  if (activeFault == ReadFault::kOpen && access == win::kGenericRead) return win::InvalidHandle();
  win::Handle file =
      realSystem.CreateFileA(path, access, share, security, disposition, flags, templateFile);
  if (file != win::InvalidHandle()) ++openHandles;
  return file;
}
win::Bool WINAPI_CC CountedClose(win::Handle file) {
  --openHandles;
  return realSystem.CloseHandle(file);
}
win::Dword WINAPI_CC FaultySize(win::Handle file, win::Dword* high) {
  if (activeFault == ReadFault::kSize) return win::kInvalidFileSize;
  return realSystem.GetFileSize(file, high);
}
win::Bool WINAPI_CC FaultyRead(win::Handle file, void* buffer, win::Dword size, win::Dword* read,
                               void* overlapped) {
  if (activeFault == ReadFault::kRead) return 0;
  if (activeFault == ReadFault::kShortRead) size -= 1;
  return realSystem.ReadFile(file, buffer, size, read, overlapped);
}
void* WINAPI_CC FaultyAlloc(win::Uint flags, size_t bytes) {
  if (activeFault == ReadFault::kAllocate) return nullptr;
  ++liveBlocks;
  return realPlatform.GlobalAlloc(flags, bytes);
}
void* WINAPI_CC CountedFree(void* block) {
  --liveBlocks;
  return realPlatform.GlobalFree(block);
}

class DataItemFaults : public UpdateRunTest, public ::testing::WithParamInterface<ReadFault> {};

TEST_P(DataItemFaults, TheArchiveEntryIsWrittenInsteadAndNothingLeaks) {
  Install({{"save/save.dat", "my save", kOldTime}});
  UseUpdateLines("UpdateFile00=d,save.dat\r\n");
  activeFault = GetParam();
  openHandles = 0;
  liveBlocks = 0;
  realSystem = systemFunctions;
  realPlatform = platform;
  systemFunctions.CreateFileA = FaultyCreate;
  systemFunctions.CloseHandle = CountedClose;
  systemFunctions.GetFileSize = FaultySize;
  systemFunctions.ReadFile = FaultyRead;
  platform.GlobalAlloc = FaultyAlloc;
  platform.GlobalFree = CountedFree;

  RunUpdate(dialog_);

  EXPECT_EQ((std::map<std::string, FileState>{{"save/save.dat", {"fresh save", kEntryTime}}}),
            Installation());
  EXPECT_EQ(0, openHandles);
  EXPECT_EQ(0, liveBlocks);
  EXPECT_TRUE(messages.empty());
  ExpectComplete();
}

INSTANTIATE_TEST_SUITE_P(Faults, DataItemFaults,
                         ::testing::Values(ReadFault::kOpen, ReadFault::kSize, ReadFault::kAllocate,
                                           ReadFault::kRead, ReadFault::kShortRead));

}  // namespace
}  // namespace update_run_test
