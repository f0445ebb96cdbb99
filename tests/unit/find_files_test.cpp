// Folder listings of the POSIX layer (FindFirstFileA, FindNextFileA,
// FindClose) over a temporary drive C:.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <set>
#include <string>

#include "core/platform.h"
#include "core/system_functions.h"
#include "platform/posix/posix_functions.h"
#include "tests/support/file_ticks.h"
#include "tests/support/test_platform.h"

namespace {

using Entries = std::map<std::string, win::FindDataA>;

class FindFiles : public UpdaterTest {
 protected:
  // Every entry that listing `pattern` (code page 932) gives, by name; a
  // name given twice fails the test.
  Entries List(const std::string& pattern) {
    Entries entries;
    win::FindDataA found;
    const win::Handle search = platform.FindFirstFileA(pattern.c_str(), &found);
    EXPECT_NE(win::InvalidHandle(), search) << pattern;
    if (search == win::InvalidHandle()) return entries;
    do {
      EXPECT_TRUE(entries.emplace(found.cFileName, found).second) << found.cFileName << " twice";
    } while (platform.FindNextFileA(search, &found) == 1);
    EXPECT_EQ(1, platform.FindClose(search));
    return entries;
  }

  void MakeFolder(const std::string& hostPath) {
    ASSERT_EQ(0, mkdir(hostPath.c_str(), 0777)) << hostPath;
  }
};

std::set<std::string> Names(const Entries& entries) {
  std::set<std::string> names;
  for (const auto& entry : entries) names.insert(entry.first);
  return names;
}

uint64_t Size(const win::FindDataA& found) {
  return uint64_t(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
}

// Sets the access and write times of a host entry (of a link, the link's own).
void SetTimes(const std::string& hostPath, uint64_t access, uint64_t write) {
  const struct timespec times[2] = {Timespec(access), Timespec(write)};
  ASSERT_EQ(0, utimensat(AT_FDCWD, hostPath.c_str(), times, AT_SYMLINK_NOFOLLOW)) << hostPath;
}

constexpr uint64_t kSecond = 10000000;
constexpr uint64_t kBase = 126227808000000000ull + 1234567;  // 2001-01-01, and a fraction
constexpr win::Dword kSymlinkTag = 0xA000000Cu;              // IO_REPARSE_TAG_SYMLINK

TEST_F(FindFiles, AFolderGivesEachEntryOnceWithItsAttributesSizeAndTimes) {
  const std::string game = DriveC() + "/game", outside = DriveC() + "/outside";
  MakeFolder(game);
  MakeFolder(outside);
  MakeFolder(game + "/sub");
  WriteHostFile(game + "/a.dat", "12345");
  WriteHostFile(game + "/ro.dat", "abc");
  ASSERT_EQ(0, chmod((game + "/ro.dat").c_str(), 0444));
  WriteHostFile(game + "/large.dat", "");
  ASSERT_EQ(0, truncate((game + "/large.dat").c_str(), (off_t(5) << 30) + 7));
  WriteHostFile(outside + "/target.dat", std::string(7000, 'x'));
  ASSERT_EQ(0, symlink((outside + "/target.dat").c_str(), (game + "/file.lnk").c_str()));
  ASSERT_EQ(0, symlink(outside.c_str(), (game + "/folder.lnk").c_str()));
  // The links' targets carry other times, so that following a link shows.
  SetTimes(outside + "/target.dat", kBase + 100 * kSecond, kBase + 100 * kSecond);
  SetTimes(outside, kBase + 101 * kSecond, kBase + 101 * kSecond);

  const struct {
    const char* name;
    const char* hostName;  // under the game folder
    win::Dword attributes;
    uint64_t size;
    win::Dword reserved0;
    uint64_t written;
  } kCases[] = {
      {"a.dat", "a.dat", win::kAttributeNormal, 5, 0, kBase + 1 * kSecond},
      {"ro.dat", "ro.dat", win::kAttributeReadonly, 3, 0, kBase + 2 * kSecond},
      {"large.dat", "large.dat", win::kAttributeNormal, (uint64_t(5) << 30) + 7, 0,
       kBase + 3 * kSecond},
      {"sub", "sub", win::kAttributeDirectory, 0, 0, kBase + 4 * kSecond},
      {"file.lnk", "file.lnk", win::kAttributeReparsePoint, 0, kSymlinkTag, kBase + 5 * kSecond},
      {"folder.lnk", "folder.lnk", win::kAttributeReparsePoint | win::kAttributeDirectory, 0,
       kSymlinkTag, kBase + 6 * kSecond},
      {".", "", win::kAttributeDirectory, 0, 0, kBase + 7 * kSecond},
      {"..", "..", win::kAttributeDirectory, 0, 0, kBase + 8 * kSecond},
  };
  std::set<std::string> names;
  for (const auto& c : kCases) {
    SetTimes(game + "/" + c.hostName, c.written - 30 * kSecond, c.written);
    names.insert(c.name);
  }

  const Entries entries = List("C:\\game\\*");
  EXPECT_EQ(names, Names(entries));
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto it = entries.find(c.name);
    ASSERT_NE(entries.end(), it);
    const win::FindDataA& found = it->second;
    EXPECT_EQ(c.attributes, found.dwFileAttributes);
    EXPECT_EQ(c.size, Size(found));
    EXPECT_EQ(c.reserved0, found.dwReserved0);
    EXPECT_EQ(c.written, win::ToUint64(found.ftLastWriteTime));
    EXPECT_EQ(c.written, win::ToUint64(found.ftCreationTime));
    EXPECT_STREQ("", found.cAlternateFileName);
    if (c.name[0] != '.') {
      const std::string path = "C:\\game\\" + std::string(c.name);
      EXPECT_EQ(PosixGetFileAttributesA(path.c_str()), found.dwFileAttributes);
    }
  }
  // Nothing reads the plain files, so their access times stay as set.
  EXPECT_EQ(kBase - 29 * kSecond, win::ToUint64(entries.at("a.dat").ftLastAccessTime));
  EXPECT_EQ(kBase - 28 * kSecond, win::ToUint64(entries.at("ro.dat").ftLastAccessTime));
}

TEST_F(FindFiles, AnEmptyFolderGivesOnlyItsDotEntries) {
  MakeFolder(DriveC() + "/empty");
  EXPECT_EQ((std::set<std::string>{".", ".."}), Names(List("C:\\empty\\*")));
}

TEST_F(FindFiles, ADriveRootGivesNoDotEntries) {
  MakeFolder(DriveC() + "/game");
  WriteHostFile(DriveC() + "/x.dat", "x");
  EXPECT_EQ((std::set<std::string>{"game", "x.dat"}), Names(List("C:\\*")));
  EXPECT_EQ((std::set<std::string>{"game", "x.dat"}), Names(List("C:\\game\\..\\*")));
}

TEST_F(FindFiles, NoListingOfAFolderThatIsNotThere) {
  MakeFolder(DriveC() + "/game");
  WriteHostFile(DriveC() + "/game/a.dat", "a");
  for (const char* pattern :
       {"C:\\missing\\*", "C:\\game\\missing\\*", "C:\\game\\a.dat\\*", "D:\\game\\*"}) {
    win::FindDataA found;
    EXPECT_EQ(win::InvalidHandle(), platform.FindFirstFileA(pattern, &found)) << pattern;
  }
}

TEST_F(FindFiles, NamesComeBackInCodePage932AndNamesWithoutADosFormAreLeftOut) {
  // 表 and ソ end in the byte of a backslash (0x5C).
  const std::string folder = DriveC() + "/表";
  MakeFolder(folder);
  MakeFolder(folder + "/ソフト");
  WriteHostFile(folder + "/表示.txt", "x");
  WriteHostFile(folder + "/😀.dat", "no code page 932 form");
  WriteHostFile(folder + "/a\\b.dat", "a DOS path would split it");
  WriteHostFile(folder + "/\xff.dat", "not UTF-8");
  EXPECT_EQ((std::set<std::string>{".", "..", Sjis("ソフト"), Sjis("表示.txt")}),
            Names(List(Sjis("C:\\表\\*"))));
}

TEST_F(FindFiles, APatternOtherThanAllOfAFolderIsRefused) {
  MakeFolder(DriveC() + "/game");
  MakeFolder(DriveC() + "/表");
  WriteHostFile(DriveC() + "/game/a.dat", "a");
  for (const char* pattern :
       {"C:\\game\\*.dat", "C:\\game\\a.*", "C:\\game\\a.dat", "C:\\game\\?", "C:\\game\\**",
        "C:\\game\\", "C:\\game", "C:\\ga*\\*", "C:\\g?me\\*", "C:*", "*", "",
        "C:\\表*"}) {  // 表 ends in 0x5C: "表*" is a name with a wildcard, not the folder 表
    win::FindDataA found;
    EXPECT_EQ(win::InvalidHandle(), platform.FindFirstFileA(Sjis(pattern).c_str(), &found))
        << pattern;
  }
}

TEST_F(FindFiles, AListingAndAFileAreNotTakenForOneAnother) {
  WriteHostFile(DriveC() + "/a.dat", "abc");
  ResolveTables();
  win::FindDataA found;
  char byte;
  win::Dword read;

  const win::Handle file = systemFunctions.CreateFileA(
      "C:\\a.dat", win::kGenericRead, win::kFileShareRead, nullptr, win::kOpenExisting, 0, nullptr);
  ASSERT_NE(win::InvalidHandle(), file);
  EXPECT_EQ(0, platform.FindNextFileA(file, &found));
  EXPECT_EQ(0, platform.FindClose(file));
  EXPECT_EQ(1, systemFunctions.ReadFile(file, &byte, 1, &read, nullptr));
  EXPECT_EQ(1u, read);
  EXPECT_EQ(1, systemFunctions.CloseHandle(file));

  const win::Handle search = platform.FindFirstFileA("C:\\*", &found);
  ASSERT_NE(win::InvalidHandle(), search);
  EXPECT_EQ(0, systemFunctions.ReadFile(search, &byte, 1, &read, nullptr));
  EXPECT_EQ(win::kInvalidFileSize, systemFunctions.GetFileSize(search, nullptr));
  EXPECT_EQ(0, platform.FindNextFileA(search, &found));  // the drive's one entry was given
  EXPECT_EQ(1, platform.FindClose(search));
  EXPECT_EQ(0, platform.FindClose(search));
}

}  // namespace
