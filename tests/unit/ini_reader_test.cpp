// GetPrivateProfileStringA of the POSIX platform over real files on the
// test's drive C:. The same rules are checked against Windows' own function
// under Wine by tests/wine/ini_compare.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/drive_map.h"
#include "tests/support/test_platform.h"

namespace {

using namespace std::string_literals;

struct IniCase {
  const char* what;
  std::string file;     // UTF-8, written in code page 932
  const char* section;  // UTF-8
  const char* key;      // UTF-8
  unsigned size;
  std::string value;          // UTF-8; the expected return value is its length
  const char* rawStart = "";  // bytes written before the file's text
};

std::ostream& operator<<(std::ostream& out, const IniCase& c) { return out << c.what; }

class IniReader : public UpdaterTest {
 protected:
  // Asks through the platform table into a buffer filled with 0xAA, so that
  // bytes written behind the terminator would show.
  win::Dword Ask(const char* dosPath, const std::string& section, const std::string& key,
                 unsigned size, std::string* value, const char* fallback = "") {
    buffer_.assign(size + 1, char(0xAA));
    win::Dword result = platform.GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback,
                                                          buffer_.data(), size, dosPath);
    if (size > 0) {
      EXPECT_NE(nullptr, std::memchr(buffer_.data(), 0, size)) << "no terminator";
      *value = buffer_.data();
      for (size_t i = value->size() + 1; i <= size; ++i) {
        EXPECT_EQ(char(0xAA), buffer_[i]) << "byte " << i << " written behind the terminator";
      }
    }
    return result;
  }

  std::vector<char> buffer_;
};

class IniReaderTable : public IniReader, public ::testing::WithParamInterface<IniCase> {};

TEST_P(IniReaderTable, AnswersAsWindows) {
  const IniCase& c = GetParam();
  WriteHostFile(DriveC() + "/SETUP.INI", c.rawStart + Sjis(c.file));
  std::string value;
  win::Dword result = Ask("C:\\SETUP.INI", Sjis(c.section), Sjis(c.key), c.size, &value);
  EXPECT_EQ(Sjis(c.value), value);
  EXPECT_EQ(win::Dword(Sjis(c.value).size()), result);
}

const std::string kRepeated300 = std::string(300, 'b');

INSTANTIATE_TEST_SUITE_P(
    Rules, IniReaderTable,
    ::testing::Values(
        IniCase{"plain", "[SETUP]\r\nGameTitle=ゲーム\r\n", "SETUP", "GameTitle", 260, "ゲーム"},
        IniCase{"names ignore ASCII case", "[setup]\r\ngametitle=x\r\n", "SETUP", "GAMETITLE", 260,
                "x"},
        IniCase{"full-width letters keep their case", "[ＳＥＴＵＰ]\r\nＫ=x\r\n", "ｓｅｔｕｐ",
                "Ｋ", 260, ""},
        IniCase{"empty value is missing", "[SETUP]\r\nKey=\r\n", "SETUP", "Key", 260, ""},
        IniCase{"blank value is missing", "[SETUP]\r\nKey=  \t\r\n", "SETUP", "Key", 260, ""},
        IniCase{"line without equals sign", "[SETUP]\r\nKey\r\n", "SETUP", "Key", 260, ""},
        IniCase{"first of duplicate keys", "[SETUP]\r\nKey=1\r\nkey=2\r\n", "SETUP", "Key", 260,
                "1"},
        IniCase{"only the first of duplicate sections",
                "[SETUP]\r\nA=1\r\n[X]\r\n[SETUP]\r\nB=2\r\n", "SETUP", "B", 260, ""},
        IniCase{"blanks around names and values", " \t Key \t=\t a b \t\r\n", "", "Key", 260,
                "a b"},
        IniCase{"blanks inside the brackets", "[  SETUP\t]\r\nKey=x\r\n", " SETUP ", "Key", 260,
                "x"},
        IniCase{"double quotes", "[S]\r\nK=\" a \"\r\n", "S", "K", 260, " a "},
        IniCase{"single quotes", "[S]\r\nK='a'\r\n", "S", "K", 260, "a"},
        IniCase{"quotes that do not match", "[S]\r\nK=\"a'\r\n", "S", "K", 260, "\"a'"},
        IniCase{"a lone quote", "[S]\r\nK=\"\r\n", "S", "K", 260, "\""},
        IniCase{"no comment syntax", "[S]\r\n;K=commented\r\nK=real ; kept\r\n", "S", "K", 260,
                "real ; kept"},
        IniCase{"LF lines", "[S]\nK=lf\n", "S", "K", 260, "lf"},
        IniCase{"CR lines", "[S]\rK=cr\r", "S", "K", 260, "cr"},
        IniCase{"last line without line end", "[S]\r\nK=open", "S", "K", 260, "open"},
        IniCase{"second byte 0x5C", "[S]\r\nK=表示ソ\r\n", "S", "K", 260, "表示ソ"},
        IniCase{"second byte 0x5D is no bracket", "[S]\r\n[ゾ\r\nK=still S\r\n", "S", "K", 260,
                "still S"},
        IniCase{"Shift-JIS names", "[ゲーム]\r\n表示=v\r\n", "ゲーム", "表示", 260, "v"},
        IniCase{"ideographic space is no blank", "[S]\r\nK=　v　\r\n", "S", "K", 260, "　v　"},
        IniCase{"a value cut to size - 1", "[S]\r\nK=" + kRepeated300 + "\r\n", "S", "K", 260,
                std::string(259, 'b')},
        IniCase{"twenty-five digits into twenty bytes", "[S]\r\nN=9999999999999999999999999\r\n",
                "S", "N", 20, "9999999999999999999"},
        IniCase{"a cut never splits a character", "[S]\r\nK=あいう\r\n", "S", "K", 4, "あ"},
        IniCase{"a quoted value cut", "[S]\r\nK=\"abcdef\"\r\n", "S", "K", 7, "abcdef"},
        IniCase{"a NUL byte ends a value", "[S]\r\nK=ab\0cd\r\n"s, "S", "K", 260, "ab"},
        IniCase{"a NUL byte ends a key name", "[S]\r\nK\0ey=v\r\n"s, "S", "K", 260, "v"},
        IniCase{"a UTF-8 byte-order mark spoils the first header", "[S]\r\nK=v\r\n", "S", "K", 260,
                "", "\xEF\xBB\xBF"}));

TEST_F(IniReader, ReadsBehindAVeryLongLine) {
  WriteHostFile(DriveC() + "/long.ini", std::string(100000, 'x') + "=" + std::string(100000, 'y') +
                                            "\r\n[S]\r\nK=after\r\n");
  std::string value;
  EXPECT_EQ(5u, Ask("C:\\long.ini", "S", "K", 260, &value));
  EXPECT_EQ("after", value);
}

TEST_F(IniReader, FollowsTheDriveMapIgnoringTheCaseOfFolderNames) {
  ASSERT_EQ(0, system(("mkdir -p '" + DriveC() + "/Game Folder'").c_str()));
  WriteHostFile(DriveC() + "/Game Folder/Setup.ini", "[SETUP]\r\nKey=mapped\r\n");
  std::string value;
  EXPECT_EQ(6u, Ask("C:\\GAME FOLDER\\SETUP.INI", "SETUP", "Key", 260, &value));
  EXPECT_EQ("mapped", value);
}

TEST_F(IniReader, AMissingFileOrDriveGivesTheDefaultWithoutTrailingBlanks) {
  std::string value;
  EXPECT_EQ(4u, Ask("C:\\none.ini", "S", "K", 260, &value, "dflt  "));
  EXPECT_EQ("dflt", value);
  EXPECT_EQ(0u, Ask("Q:\\none.ini", "S", "K", 260, &value, ""));
  EXPECT_EQ("", value);
  EXPECT_EQ(0u, Ask("C:\\", "S", "K", 260, &value, ""));  // a folder, not a file
  EXPECT_EQ("", value);
}

TEST_F(IniReader, AMissingKeyGivesTheDefaultCutToTheBuffer) {
  WriteHostFile(DriveC() + "/a.ini", "[S]\r\nK=v\r\n");
  std::string value;
  EXPECT_EQ(3u, Ask("C:\\a.ini", "S", "Other", 4, &value, "default"));
  EXPECT_EQ("def", value);
}

TEST_F(IniReader, TheListingFormsAreNotProvidedAndGiveAnEmptyList) {
  WriteHostFile(DriveC() + "/a.ini", "[S]\r\nK=v\r\n");
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(0u, platform.GetPrivateProfileStringA(nullptr, "K", "", buffer, 8, "C:\\a.ini"));
  EXPECT_EQ(std::string(2, '\0'), std::string(buffer, 2));
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(0u, platform.GetPrivateProfileStringA("S", nullptr, "", buffer, 8, "C:\\a.ini"));
  EXPECT_EQ(std::string(2, '\0'), std::string(buffer, 2));
}

TEST_F(IniReader, ABufferOfNoBytesIsLeftAlone) {
  WriteHostFile(DriveC() + "/a.ini", "[S]\r\nK=v\r\n");
  char byte = 'x';
  EXPECT_EQ(0u, platform.GetPrivateProfileStringA("S", "K", "", &byte, 0, "C:\\a.ini"));
  EXPECT_EQ('x', byte);
}

}  // namespace
