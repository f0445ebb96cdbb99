// Writing archive entries over installed files: the replace, keep and refuse
// rules, file times, and that no failure leaves a torn or stray file.
#include "archive/extract_entry.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>

#include <cstring>

#include "authoring/archive_writer.h"
#include "tests/support/fault_injector.h"
#include "tests/support/file_ticks.h"
#include "tests/support/test_platform.h"
#include "texts.h"

namespace {

constexpr uint64_t kEntryTime = 0x01D9ABCD12345677ull;  // odd: 100-ns precision shows
struct FileState {
  bool exists = false;
  std::string content;
  uint64_t lastWrite = 0;
  uint64_t lastAccess = 0;
  mode_t mode = 0;
  // Reading the content for a comparison moves the access time itself, so
  // "unchanged" means content, last-write time and permissions.
  bool operator==(const FileState& o) const {
    return exists == o.exists && content == o.content && lastWrite == o.lastWrite && mode == o.mode;
  }
};

FileState StateOf(const std::string& host) {
  FileState s;
  struct stat st;
  if (stat(host.c_str(), &st) != 0) return s;
  s.exists = true;
  s.content = ReadHostFile(host);
  s.lastWrite = Ticks(st.st_mtim);
  s.lastAccess = Ticks(st.st_atim);
  s.mode = st.st_mode;
  return s;
}

void SetTimes(const std::string& host, uint64_t ticks) {
  struct timespec times[2] = {Timespec(ticks), Timespec(ticks)};
  ASSERT_EQ(0, utimensat(AT_FDCWD, host.c_str(), times, 0));
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* e = readdir(dir)) {
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
        names.push_back(e->d_name);
      }
    }
    closedir(dir);
  }
  return names;
}

class ExtractEntryTest : public UpdaterTest {
 protected:
  void SetUp() override {
    UpdaterTest::SetUp();
    ResolveTables();
    ASSERT_EQ(0, mkdir((DriveC() + "/game").c_str(), 0777));
    ArchiveItem text;
    text.name = "new.dat";
    text.data = {'n', 'e', 'w', ' ', 'd', 'a', 't', 'a'};
    text.fileTime = win::ToFileTime(kEntryTime);
    text.scramble = true;
    ArchiveItem empty;
    empty.name = "empty.dat";
    empty.fileTime = win::ToFileTime(kEntryTime);
    ArchiveItem damaged;  // a compressed entry whose stream runs out
    damaged.name = "damaged.dat";
    damaged.precompressed = true;
    damaged.data = {0x00, 0x00, 0x00, 0x80, 'a'};  // one literal, then no end marker
    damaged.unpackedSize = 8;
    std::vector<uint8_t> image;
    std::string error;
    ASSERT_TRUE(BuildArchive({text, empty, damaged}, ArchiveOptions{}, &image, &error)) << error;
    ASSERT_TRUE(UseArchive(image));
  }

  std::string Target() const { return DriveC() + "/game/new.dat"; }
  void Install(const std::string& content, uint64_t ticks, bool readOnly = false) {
    WriteHostFile(Target(), content);
    SetTimes(Target(), ticks);
    if (readOnly) chmod(Target().c_str(), 0444);
  }
};

struct RuleCase {
  const char* what;
  bool installed;
  int64_t installedTimeOffset;  // ticks relative to the entry's time
  bool readOnly;
  int onlyIfNewer;
  bool expectReplaced;
};

class ExtractRules : public ExtractEntryTest, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(ExtractRules, ReplaceOrKeep) {
  const RuleCase& c = GetParam();
  const uint64_t installedTime = kEntryTime + uint64_t(c.installedTimeOffset);
  if (c.installed) Install("old", installedTime, c.readOnly);

  EXPECT_EQ(1, ExtractEntry("NEW.DAT", "C:\\game\\new.dat", c.onlyIfNewer)) << c.what;

  FileState after = StateOf(Target());
  ASSERT_TRUE(after.exists);
  if (c.expectReplaced) {
    EXPECT_EQ("new data", after.content) << c.what;
    EXPECT_EQ(kEntryTime, after.lastWrite) << c.what;
    EXPECT_EQ(kEntryTime, after.lastAccess) << c.what;
  } else {
    EXPECT_EQ("old", after.content) << c.what;
    EXPECT_EQ(installedTime, after.lastWrite) << c.what;
  }
  EXPECT_TRUE(after.mode & S_IWUSR) << c.what << ": no longer read-only";
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(std::vector<std::string>{"new.dat"}, FolderEntries(DriveC() + "/game"));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ExtractRules,
    ::testing::Values(RuleCase{"missing target", false, 0, false, 1, true},
                      RuleCase{"equal time is replaced", true, 0, false, 1, true},
                      RuleCase{"one tick later is kept", true, 1, false, 1, false},
                      RuleCase{"later is replaced without the rule", true, 1, false, 0, true},
                      RuleCase{"earlier is replaced", true, -10000000, false, 1, true},
                      RuleCase{"read-only is replaced", true, 0, true, 0, true},
                      RuleCase{"read-only newer is kept", true, 5, true, 1, false}));

TEST_F(ExtractEntryTest, ADirectoryAtTheTargetIsLeftAlone) {
  ASSERT_EQ(0, mkdir(Target().c_str(), 0777));
  EXPECT_EQ(0, ExtractEntry("new.dat", "C:\\game\\new.dat", 0));
  struct stat st;
  ASSERT_EQ(0, stat(Target().c_str(), &st));
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_TRUE(messages.empty());
}

TEST_F(ExtractEntryTest, EmptyEntryMakesAnEmptyFileWithTheEntrysTime) {
  EXPECT_EQ(1, ExtractEntry("empty.dat", "C:\\game\\empty.dat", 0));
  FileState s = StateOf(DriveC() + "/game/empty.dat");
  ASSERT_TRUE(s.exists);
  EXPECT_EQ("", s.content);
  EXPECT_EQ(kEntryTime, s.lastWrite);
}

TEST_F(ExtractEntryTest, AllThreeTimesAreTheEntrys) {
  ASSERT_EQ(1, ExtractEntry("new.dat", "C:\\game\\new.dat", 0));
  win::Handle file =
      systemFunctions.CreateFileA("C:\\game\\new.dat", win::kGenericRead, win::kFileShareRead,
                                  nullptr, win::kOpenExisting, 0, nullptr);
  ASSERT_NE(win::InvalidHandle(), file);
  win::FileTime creation{}, access{}, write{};
  ASSERT_TRUE(platform.GetFileTime(file, &creation, &access, &write));
  systemFunctions.CloseHandle(file);
  EXPECT_EQ(kEntryTime, win::ToUint64(creation));
  EXPECT_EQ(kEntryTime, win::ToUint64(access));
  EXPECT_EQ(kEntryTime, win::ToUint64(write));
}

TEST_F(ExtractEntryTest, MissingEntryIsReported) {
  EXPECT_EQ(0, ExtractEntry("other.dat", "C:\\game\\other.dat", 0));
  ASSERT_EQ(1u, messages.size());
  EXPECT_EQ(kMsgEntryNotFound, messages[0].text);
}

TEST_F(ExtractEntryTest, DamagedEntryIsReportedAndNothingIsWritten) {
  Install("old", kEntryTime);
  FileState before = StateOf(Target());
  EXPECT_EQ(0, ExtractEntry("damaged.dat", "C:\\game\\new.dat", 0));
  ASSERT_EQ(1u, messages.size());
  char expected[1024];
  snprintf(expected, sizeof expected, kMsgArchiveDamaged, "damaged.dat");
  EXPECT_EQ(expected, messages[0].text);
  EXPECT_TRUE(before == StateOf(Target()));
}

// Free space: equal is enough, one byte short fails with a shortfall of 1,
// also for a file that the only-if-newer rule would keep.
uint64_t fakeFreeBytes;
std::string askedDrive;
win::Bool WINAPI_CC FakeFreeSpace(const char* drive, uint64_t* freeToCaller, uint64_t*, uint64_t*) {
  askedDrive = drive;
  *freeToCaller = fakeFreeBytes;
  return 1;
}

TEST_F(ExtractEntryTest, FreeSpaceMustHoldTheUnpackedSize) {
  platform.GetDiskFreeSpaceExA = FakeFreeSpace;
  fakeFreeBytes = 8;
  EXPECT_EQ(1, ExtractEntry("new.dat", "C:\\game\\new.dat", 0));
  EXPECT_EQ("C:", askedDrive);

  Install("old", kEntryTime + 100);
  fakeFreeBytes = 7;
  EXPECT_EQ(0, ExtractEntry("new.dat", "C:\\game\\new.dat", 1));
  ASSERT_EQ(1u, messages.size());
  char expected[1024];
  snprintf(expected, sizeof expected, kMsgDiskSpace, "C:", 1u);
  EXPECT_EQ(expected, messages[0].text);
  EXPECT_EQ("old", ReadHostFile(Target()));
}

TEST_F(ExtractEntryTest, WriteWholeFileWithoutATimeKeepsTheSystemsTime) {
  Install("old", kEntryTime);
  ASSERT_EQ(1, WriteWholeFile("C:\\game\\new.dat", "rewritten", 9, nullptr));
  FileState s = StateOf(Target());
  EXPECT_EQ("rewritten", s.content);
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  EXPECT_NEAR(double(Ticks(now)), double(s.lastWrite), 600 * 1e7);  // written just now
}

// Every step of the write that can fail leaves the installed file exactly
// as it was and no temporary file behind.
struct FaultPoint {
  const char* entry;
  int call;
  bool lasting;  // a temporary file is tried under other names
};

class ExtractFaults : public ExtractEntryTest, public ::testing::WithParamInterface<FaultPoint> {};

TEST_P(ExtractFaults, LeaveTheInstalledFileAsItWas) {
  Install("the installed version", kEntryTime - 5);
  const FileState before = StateOf(Target());
  FaultInjector injector;
  injector.FailAt(GetParam().entry, GetParam().call, GetParam().lasting);

  EXPECT_EQ(0, ExtractEntry("new.dat", "C:\\game\\new.dat", 0));

  EXPECT_TRUE(injector.Fired());
  EXPECT_TRUE(before == StateOf(Target()));
  EXPECT_EQ(std::vector<std::string>{"new.dat"}, FolderEntries(DriveC() + "/game"));
}

INSTANTIATE_TEST_SUITE_P(Steps, ExtractFaults,
                         ::testing::Values(FaultPoint{"CreateFileA", 1, true},
                                           FaultPoint{"WriteFile", 1, false},
                                           FaultPoint{"SetFileTime", 1, false},
                                           FaultPoint{"FlushFileBuffers", 1, false},
                                           FaultPoint{"MoveFileExA", 1, false}));

decltype(SystemFunctionTable::WriteFile) realWrite;
win::Bool WINAPI_CC ShortWrite(win::Handle file, const void* buffer, win::Dword size,
                               win::Dword* written, void* overlapped) {
  return realWrite(file, buffer, size - 1, written, overlapped);
}

TEST_F(ExtractEntryTest, AShortWriteLeavesTheInstalledFileAsItWas) {
  Install("the installed version", kEntryTime - 5);
  const FileState before = StateOf(Target());
  realWrite = systemFunctions.WriteFile;
  systemFunctions.WriteFile = ShortWrite;

  EXPECT_EQ(0, ExtractEntry("new.dat", "C:\\game\\new.dat", 0));

  EXPECT_TRUE(before == StateOf(Target()));
  EXPECT_EQ(std::vector<std::string>{"new.dat"}, FolderEntries(DriveC() + "/game"));
}

}  // namespace
