#include "core/join_path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/test_platform.h"

namespace {

struct JoinCase {
  const char* path;  // UTF-8
  const char* name;
  const char* expected;
};

class JoinPathTest : public UpdaterTest, public ::testing::WithParamInterface<JoinCase> {};

TEST_P(JoinPathTest, AddsOneSeparatorAndASecondNul) {
  const JoinCase c = GetParam();
  char buffer[260];
  std::memset(buffer, 'x', sizeof buffer);
  std::string path = Sjis(c.path);
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  ASSERT_TRUE(JoinPath(buffer, sizeof buffer, c.name));
  const std::string expected = Sjis(c.expected);
  EXPECT_EQ(expected, std::string(buffer));
  EXPECT_EQ('\0', buffer[expected.size() + 1]);  // a list of one path
}

INSTANTIATE_TEST_SUITE_P(Paths, JoinPathTest,
                         ::testing::Values(JoinCase{"", "a.txt", "\\a.txt"},
                                           JoinCase{"C:\\Games", "a.txt", "C:\\Games\\a.txt"},
                                           JoinCase{"C:\\Games\\", "a.txt", "C:\\Games\\a.txt"},
                                           JoinCase{"C:\\表", "a.txt",
                                                    "C:\\表\\a.txt"},  // 表 ends in 0x5C
                                           JoinCase{"C:\\", "", "C:\\"}));

class JoinPathLimits : public UpdaterTest {};

TEST_F(JoinPathLimits, RefusesAResultThatDoesNotFitAndKeepsThePath) {
  char buffer[16] = "C:\\abcdefgh";                      // 11 characters
  EXPECT_FALSE(JoinPath(buffer, sizeof buffer, "xyz"));  // 15 + two NULs > 16
  EXPECT_STREQ("C:\\abcdefgh", buffer);
  EXPECT_TRUE(JoinPath(buffer, sizeof buffer, "xy"));  // 14 + two NULs = 16
  EXPECT_STREQ("C:\\abcdefgh\\xy", buffer);
}

TEST_F(JoinPathLimits, FileNameStartsAfterTheLastRealBackslash) {
  EXPECT_EQ(0, FileNameOffset("name.dat"));
  EXPECT_EQ(4, FileNameOffset("sub\\name.dat"));
  const std::string path = Sjis("sub\\表.dat");  // the second byte of 表 is 0x5C
  EXPECT_EQ(4, FileNameOffset(path.c_str()));
  const std::string folder = Sjis("表\\名前.dat");
  EXPECT_EQ(3, FileNameOffset(folder.c_str()));
}

}  // namespace
