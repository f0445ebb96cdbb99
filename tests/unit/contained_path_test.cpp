// The rules by which paths of the update description and of the journal
// stay inside the game's folders, and the names of the run's own files.
#include "update/contained_path.h"

#include <gtest/gtest.h>

#include <string>

#include "core/text_format.h"
#include "tests/support/test_platform.h"
#include "update/run_file_names.h"

namespace {

class ContainedPath : public UpdaterTest {};

TEST_F(ContainedPath, ARelativePathStaysInsideUnlessItClimbsOrNamesADriveStreamOrDevice) {
  const struct {
    const char* path;  // UTF-8
    bool contained;
  } kCases[] = {
      {"new.dat", true},
      {"sub\\new.dat", true},
      {"sub/new.dat", true},
      {"sub\\\\new.dat", true},
      {"a..b\\c.", true},
      {"COMA.dat", true},
      {"CONSOLE.dat", true},
      {"LPT.dat", true},
      {"表..", true},  // 0x95 0x5C: the second byte is no separator
      {"表\\..\\x", false},
      {"", false},
      {"..", false},
      {".", false},
      {"...", false},
      {".. ", false},
      {"sub\\..\\..\\x", false},
      {"sub/../x", false},
      {"\\Windows\\x.dll", false},
      {"/Windows/x.dll", false},
      {"\\\\server\\share\\x", false},
      {"C:x.dll", false},
      {"x.dat:stream", false},
      {"CON", false},
      {"sub\\nul.txt", false},
      {"aux .dat", false},
      {"COM1", false},
      {"lpt9.log", false},
      {"CONOUT$", false},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.contained, IsContainedRelativePath(Sjis(c.path).c_str())) << c.path;
  }
}

TEST_F(ContainedPath, APathBelowAFolderIsFoundByCharactersAndCase) {
  const struct {
    const char* path;
    const char* folder;
    int offset;
  } kCases[] = {
      {"C:\\game\\a.dat", "C:\\game", 8},
      {"c:\\GAME\\a.dat", "C:\\game", 8},
      {"C:\\game\\a.dat", "C:\\game\\", 8},
      {"C:\\a.dat", "C:\\", 3},
      {"C:\\表\\a.dat", "C:\\表", 6},
      {"C:\\gamer\\a.dat", "C:\\game", -1},
      {"C:\\game", "C:\\game", -1},
      {"C:\\game\\", "C:\\game", -1},
      {"C:\\game\\..\\Windows\\a.dll", "C:\\game", -1},
      {"D:\\game\\a.dat", "C:\\game", -1},
      {"C:\\game\\a.dat", "", -1},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.offset, ContainedRestOffset(Sjis(c.path).c_str(), Sjis(c.folder).c_str()))
        << c.path << " below " << c.folder;
  }
}

TEST_F(ContainedPath, OnlyTheNamesARunGivesCountAsItsOwn) {
  const char beside[] = "C:\\game\\a.dat";
  char name[kPathSize];
  for (unsigned attempt : {0u, 1u, 0xau, 0xffffu}) {
    ASSERT_TRUE(RunFileName(beside, attempt, name));
    EXPECT_TRUE(IsRunFileName(beside, name)) << name;
  }
  for (const char* other :
       {"C:\\game\\~upd01.tmp", "C:\\game\\~upd10000.tmp", "C:\\game\\~updg.tmp",
        "C:\\game\\~upd1.TMP", "C:\\game\\~upd.tmp", "C:\\game\\save.dat", "C:\\game\\1",
        "C:\\game\\~1", "C:\\save\\~upd0.tmp", "C:\\game\\sub\\~upd0.tmp"}) {
    EXPECT_FALSE(IsRunFileName(beside, other)) << other;
  }
  // A folder that leaves no room for the long form takes the shorter ones.
  const std::string deep = "C:\\" + std::string(kPathSize - 8, 'd') + "\\a";
  ASSERT_TRUE(RunFileName(deep.c_str(), 0x1f, name));
  EXPECT_EQ(deep.substr(0, deep.size() - 1) + "~1f", name);
  EXPECT_TRUE(IsRunFileName(deep.c_str(), name));
  EXPECT_FALSE(IsRunFileName(deep.c_str(), (deep.substr(0, deep.size() - 1) + "1f").c_str()));
}

}  // namespace
