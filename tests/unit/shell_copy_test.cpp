// The POSIX shell copy (SHFileOperationA, FO_COPY): files to a path or into
// a folder, folders into a folder or as a new folder, replacing without
// asking, and failures that report non-zero and leave no partial file.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <map>
#include <string>

#include "platform/posix/drive_map.h"
#include "tests/support/test_platform.h"

namespace {

constexpr win::Word kFileFlags = win::kFofNoConfirmation | win::kFofNoConfirmMkdir;
constexpr win::Word kFolderFlags = kFileFlags | win::kFofNoErrorUi;

// Every file under `folder`: relative path to content; folders end in '/'.
std::map<std::string, std::string> Tree(const std::string& folder, const std::string& prefix = "") {
  std::map<std::string, std::string> tree;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return tree;
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    std::string path = folder + "/" + name;
    struct stat st;
    stat(path.c_str(), &st);
    if (S_ISDIR(st.st_mode)) {
      tree[prefix + name + "/"] = "";
      for (const auto& entry : Tree(path, prefix + name + "/")) tree.insert(entry);
    } else {
      tree[prefix + name] = ReadHostFile(path);
    }
  }
  closedir(dir);
  return tree;
}

class ShellCopyTest : public UpdaterTest {
 protected:
  void SetUp() override {
    UpdaterTest::SetUp();
    ResolveTables();
    disc_ = DriveC() + "/disc";
    ASSERT_EQ(0, mkdir(disc_.c_str(), 0777));
    SetDriveMapping('D', disc_, win::kDriveCdrom);
    ASSERT_EQ(0, mkdir((DriveC() + "/game").c_str(), 0777));
    ASSERT_EQ(0, mkdir((disc_ + "/movie").c_str(), 0777));
    ASSERT_EQ(0, mkdir((disc_ + "/movie/sub").c_str(), 0777));
    WriteHostFile(disc_ + "/movie/op.mpg", "opening");
    WriteHostFile(disc_ + "/movie/sub/ed.mpg", "ending");
    WriteHostFile(disc_ + "/readme.txt", "read me");
    chmod((disc_ + "/readme.txt").c_str(), 0444);  // files on a disc are read-only
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 500}};
    utimensat(AT_FDCWD, (disc_ + "/readme.txt").c_str(), times, 0);
  }

  // Copies with paths given as single strings; the lists get their NULs here.
  int Copy(const std::string& from, const std::string& to, win::Word flags,
           win::Uint function = win::kFoCopy) {
    std::string fromList = from + std::string(2, '\0');
    std::string toList = to + std::string(2, '\0');
    win::ShFileOp op{};
    op.wFunc = function;
    op.pFrom = fromList.c_str();
    op.pTo = toList.c_str();
    op.fFlags = flags;
    op.fAnyOperationsAborted = 7;
    int result = systemFunctions.SHFileOperationA(&op);
    EXPECT_EQ(0, op.fAnyOperationsAborted);
    return result;
  }

  std::string disc_;
};

TEST_F(ShellCopyTest, FileToAPathInMissingFoldersKeepsTimesAndReadOnly) {
  ASSERT_EQ(0, Copy("D:\\README.TXT", "C:\\game\\doc\\readme.txt", kFileFlags));
  std::string copy = DriveC() + "/game/doc/readme.txt";
  EXPECT_EQ("read me", ReadHostFile(copy));
  struct stat st;
  ASSERT_EQ(0, stat(copy.c_str(), &st));
  EXPECT_EQ(1000000000, st.st_mtim.tv_sec);
  EXPECT_EQ(500, st.st_mtim.tv_nsec);
  EXPECT_EQ(win::kAttributeReadonly,
            systemFunctions.GetFileAttributesA("C:\\game\\doc\\readme.txt"));
}

TEST_F(ShellCopyTest, FileIntoAnExistingFolderTakesItsOwnName) {
  ASSERT_EQ(0, Copy("D:\\readme.txt", "C:\\game", kFileFlags));
  EXPECT_EQ("read me", ReadHostFile(DriveC() + "/game/readme.txt"));
}

TEST_F(ShellCopyTest, FolderGoesIntoAnExistingFolderItself) {
  ASSERT_EQ(0, Copy("D:\\movie", "C:\\game", kFolderFlags));
  std::map<std::string, std::string> expected{{"movie/", ""},
                                              {"movie/op.mpg", "opening"},
                                              {"movie/sub/", ""},
                                              {"movie/sub/ed.mpg", "ending"}};
  EXPECT_EQ(expected, Tree(DriveC() + "/game"));
}

TEST_F(ShellCopyTest, FolderBecomesAMissingDestination) {
  ASSERT_EQ(0, Copy("D:\\movie", "C:\\game\\films", kFolderFlags));
  std::map<std::string, std::string> expected{{"films/", ""},
                                              {"films/op.mpg", "opening"},
                                              {"films/sub/", ""},
                                              {"films/sub/ed.mpg", "ending"}};
  EXPECT_EQ(expected, Tree(DriveC() + "/game"));
}

TEST_F(ShellCopyTest, ExistingFilesAreReplacedWithoutAsking) {
  ASSERT_EQ(0, mkdir((DriveC() + "/game/movie").c_str(), 0777));
  WriteHostFile(DriveC() + "/game/movie/op.mpg", "old opening");
  chmod((DriveC() + "/game/movie/op.mpg").c_str(), 0444);
  WriteHostFile(DriveC() + "/game/movie/keep.dat", "kept");
  ASSERT_EQ(0, Copy("D:\\movie", "C:\\game", kFolderFlags));
  EXPECT_EQ("opening", ReadHostFile(DriveC() + "/game/movie/op.mpg"));
  EXPECT_EQ("kept", ReadHostFile(DriveC() + "/game/movie/keep.dat"));
  EXPECT_TRUE(messages.empty());
}

TEST_F(ShellCopyTest, SeveralSourcesGoIntoTheDestinationFolder) {
  std::string from = std::string("D:\\readme.txt") + '\0' + "D:\\movie\\op.mpg" + '\0' + '\0';
  std::string to = std::string("C:\\game\\all") + '\0' + '\0';
  win::ShFileOp op{};
  op.wFunc = win::kFoCopy;
  op.pFrom = from.c_str();
  op.pTo = to.c_str();
  op.fFlags = kFileFlags;
  ASSERT_EQ(0, systemFunctions.SHFileOperationA(&op));
  std::map<std::string, std::string> expected{{"op.mpg", "opening"}, {"readme.txt", "read me"}};
  EXPECT_EQ(expected, Tree(DriveC() + "/game/all"));
}

struct RefusedCase {
  const char* what;
  const char* from;
  const char* to;
  win::Uint function;
};

class ShellCopyRefused : public ShellCopyTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(ShellCopyRefused, ReportsNonZeroAndChangesNothing) {
  const RefusedCase& c = GetParam();
  WriteHostFile(DriveC() + "/game/readme.txt", "installed");
  std::map<std::string, std::string> gameBefore = Tree(DriveC() + "/game");
  std::map<std::string, std::string> discBefore = Tree(disc_);
  EXPECT_NE(0, Copy(c.from, c.to, kFolderFlags, c.function)) << c.what;
  EXPECT_EQ(gameBefore, Tree(DriveC() + "/game")) << c.what;
  EXPECT_EQ(discBefore, Tree(disc_)) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShellCopyRefused,
    ::testing::Values(
        RefusedCase{"missing source", "D:\\nothing", "C:\\game", win::kFoCopy},
        RefusedCase{"unmapped drive", "E:\\readme.txt", "C:\\game", win::kFoCopy},
        RefusedCase{"a drive's root", "D:\\", "C:\\game", win::kFoCopy},
        RefusedCase{"not a copy", "D:\\readme.txt", "C:\\game", 0x1 /* FO_MOVE */},
        RefusedCase{"same file", "C:\\game\\readme.txt", "C:\\game\\readme.txt", win::kFoCopy},
        RefusedCase{"into its own subtree", "D:\\movie", "D:\\movie\\sub", win::kFoCopy}));

TEST_F(ShellCopyTest, AFailureHalfWayReportsNonZeroAndLeavesNoPartialFile) {
  // A folder stands where the second file would go.
  ASSERT_EQ(0, mkdir((DriveC() + "/game/movie").c_str(), 0777));
  ASSERT_EQ(0, mkdir((DriveC() + "/game/movie/sub").c_str(), 0777));
  ASSERT_EQ(0, mkdir((DriveC() + "/game/movie/sub/ed.mpg").c_str(), 0777));
  EXPECT_NE(0, Copy("D:\\movie", "C:\\game", kFolderFlags));
  std::map<std::string, std::string> tree = Tree(DriveC() + "/game/movie");
  for (const auto& entry : tree) {
    EXPECT_EQ(std::string::npos, entry.first.find(".~copy")) << entry.first;
  }
  EXPECT_EQ(1u, tree.count("sub/ed.mpg/"));
}

}  // namespace
