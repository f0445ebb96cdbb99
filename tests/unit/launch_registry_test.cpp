// The POSIX registry: a registry file named by UPDATER_REGISTRY, read
// through the three registry entries of the system function table with the
// contracts the launch relies on.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>

#include "tests/support/test_platform.h"

namespace {

constexpr win::Long kNotFound = 2;
constexpr win::Long kInvalidHandle = 6;
constexpr win::Long kMoreData = 234;

const char kV5[] = "Windows Registry Editor Version 5.00\r\n\r\n";
const char kKey[] = "[HKEY_CURRENT_USER\\Software\\ExampleSoft\\StarJourney]\r\n";
const char kSubKey[] = "Software\\ExampleSoft\\StarJourney";

// UTF-8 text to UTF-16LE bytes with a byte order mark (ASCII and the BMP).
std::string Utf16File(const std::string& utf8) {
  std::string out = "\xFF\xFE";
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = uint8_t(utf8[i]);
    uint32_t code = c;
    size_t length = 1;
    if (c >= 0xE0) {
      code =
          (c & 0x0Fu) << 12 | (uint8_t(utf8[i + 1]) & 0x3Fu) << 6 | (uint8_t(utf8[i + 2]) & 0x3Fu);
      length = 3;
    } else if (c >= 0xC0) {
      code = (c & 0x1Fu) << 6 | (uint8_t(utf8[i + 1]) & 0x3Fu);
      length = 2;
    }
    out += char(code & 0xFF);
    out += char(code >> 8);
    i += length;
  }
  return out;
}

struct RegCase {
  const char* what;
  std::string file;
  const char* subKey;
  const char* value;
  win::Dword bufferSize;
  win::Long openResult;
  win::Long queryResult;  // when opened
  std::string data;       // the bytes returned on success
  win::Dword size;        // the size reported (needed size for kMoreData)
};

class RegistryFile : public UpdaterTest, public ::testing::WithParamInterface<RegCase> {
 protected:
  void SetUp() override {
    UpdaterTest::SetUp();
    ResolveTables();
    path_ = DriveC() + "/user.reg";
    setenv("UPDATER_REGISTRY", path_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("UPDATER_REGISTRY");
    UpdaterTest::TearDown();
  }
  std::string path_;
};

TEST_P(RegistryFile, ValuesAreReadAsTheAnsiFunctionsGiveThem) {
  const RegCase& c = GetParam();
  WriteHostFile(path_, c.file);
  win::Hkey key = nullptr;
  ASSERT_EQ(c.openResult,
            systemFunctions.RegOpenKeyExA(win::CurrentUserKey(), c.subKey, 0, win::kKeyRead, &key));
  if (c.openResult != 0) {
    EXPECT_EQ(nullptr, key);
    return;
  }
  std::string buffer(c.bufferSize, '\x7F');
  win::Dword size = c.bufferSize;
  EXPECT_EQ(c.queryResult,
            systemFunctions.RegQueryValueExA(key, c.value, nullptr, nullptr,
                                             reinterpret_cast<uint8_t*>(&buffer[0]), &size));
  if (c.queryResult == 0) {
    EXPECT_EQ(c.data, buffer.substr(0, size));
    EXPECT_EQ(std::string(c.bufferSize - size, '\x7F'), buffer.substr(size)) << "written past";
  }
  if (c.queryResult == 0 || c.queryResult == kMoreData) {
    EXPECT_EQ(c.size, size);
  }
  if (c.queryResult == kMoreData) {
    EXPECT_EQ(std::string(c.bufferSize, '\x7F'), buffer) << "nothing written";
  }
  EXPECT_EQ(0, systemFunctions.RegCloseKey(key));
}

const std::string kStar = std::string(kV5) + kKey +
                          "\"InstPath\"=\"C:\\\\Games\\\\Star \\\"SJ\\\"\"\r\n"
                          "\"InstMode\"=dword:0000010a\r\n"
                          "\"Title\"=\"星の旅路\"\r\n"
                          "\"Bytes\"=hex:01,ff,\\\r\n  20\r\n"
                          "\"Expand\"=hex(2):43,00,3a,00,5c,00,00,00\r\n"
                          "\"Gone\"=\"x\"\r\n"
                          "\"Gone\"=-\r\n"
                          "@=\"default\"\r\n";

const std::string kInstPath = std::string("C:\\Games\\Star \"SJ\"") + '\0';

INSTANTIATE_TEST_SUITE_P(
    Cases, RegistryFile,
    ::testing::Values(
        RegCase{"text with escapes", kStar, kSubKey, "InstPath", 260, 0, 0, kInstPath, 19},
        RegCase{"dword", kStar, kSubKey, "InstMode", 4, 0, 0, std::string("\x0a\x01\0\0", 4), 4},
        RegCase{"Japanese text in code page 932", kStar, kSubKey, "Title", 260, 0, 0,
                Sjis("星の旅路") + '\0', 9},
        RegCase{"the same file in UTF-16", Utf16File(kStar), kSubKey, "Title", 260, 0, 0,
                Sjis("星の旅路") + '\0', 9},
        RegCase{"binary over two lines", kStar, kSubKey, "Bytes", 16, 0, 0, "\x01\xff\x20", 3},
        RegCase{"UTF-16 expandable text", kStar, kSubKey, "Expand", 16, 0, 0,
                std::string("C:\\") + '\0', 4},
        RegCase{"the default value", kStar, kSubKey, "", 16, 0, 0, std::string("default") + '\0',
                8},
        RegCase{"exactly fitting", kStar, kSubKey, "InstPath", 19, 0, 0, kInstPath, 19},
        RegCase{"one byte too large", kStar, kSubKey, "InstPath", 18, 0, kMoreData, "", 19},
        RegCase{"a dword into two bytes", kStar, kSubKey, "InstMode", 2, 0, kMoreData, "", 4},
        RegCase{"names without regard to case", kStar, "SOFTWARE\\examplesoft\\starjourney",
                "instpath", 260, 0, 0, kInstPath, 19},
        RegCase{"a deleted value", kStar, kSubKey, "Gone", 16, 0, kNotFound, "", 0},
        RegCase{"a missing value", kStar, kSubKey, "DataPath", 260, 0, kNotFound, "", 0},
        RegCase{"a missing key", kStar, "Software\\ExampleSoft\\Other", "InstPath", 260, kNotFound,
                0, "", 0},
        RegCase{"a key above a listed one opens empty", kStar, "Software\\ExampleSoft", "InstPath",
                260, 0, kNotFound, "", 0},
        RegCase{"REGEDIT4 with the short root", "REGEDIT4\n\n[HKCU\\Software\\A\\B]\n\"V\"=\"1\"\n",
                "Software\\A\\B", "V", 8, 0, 0, std::string("1") + '\0', 2},
        RegCase{"a UTF-8 byte order mark",
                "\xEF\xBB\xBFREGEDIT4\n[HKCU\\Software\\A]\n\"V\"=\"1\"\n", "Software\\A", "V", 8,
                0, 0, std::string("1") + '\0', 2},
        RegCase{"another root is not the user's",
                std::string(kV5) + "[HKEY_LOCAL_MACHINE\\Software\\A]\r\n\"V\"=\"1\"\r\n",
                "Software\\A", "V", 8, kNotFound, 0, "", 0},
        RegCase{"later sections add to the key",
                std::string(kV5) + kKey +
                    "\"A\"=\"1\"\r\n[HKCU\\Software\\Other]\r\n\"A\"=\"2\"\r\n" + kKey +
                    "\"B\"=\"3\"\r\n",
                kSubKey, "B", 8, 0, 0, std::string("3") + '\0', 2},
        RegCase{"bad lines are skipped",
                std::string(kV5) + kKey + "InstPath=C:\\x\r\n\"A\"=dword:123456789\r\n" +
                    "\"B\"=\"unterminated\r\n\"C\"=hex:1,zz\r\n\"D\"=\"ok\"\r\n",
                kSubKey, "D", 8, 0, 0, std::string("ok") + '\0', 3},
        RegCase{"no header, no registry", std::string(kKey) + "\"V\"=\"1\"\r\n", kSubKey, "V", 8,
                kNotFound, 0, "", 0}),
    [](const ::testing::TestParamInfo<RegCase>& info) {
      std::string name;
      for (const char* p = info.param.what; *p; ++p) name += std::isalnum(uint8_t(*p)) ? *p : '_';
      return name;
    });

TEST_F(RegistryFile, WithoutTheVariableNoKeyExists) {
  WriteHostFile(path_, kStar);
  unsetenv("UPDATER_REGISTRY");
  win::Hkey key = reinterpret_cast<win::Hkey>(1);
  EXPECT_EQ(kNotFound,
            systemFunctions.RegOpenKeyExA(win::CurrentUserKey(), kSubKey, 0, win::kKeyRead, &key));
  EXPECT_EQ(nullptr, key);
}

TEST_F(RegistryFile, AMissingFileIsNoRegistry) {
  win::Hkey key = nullptr;
  EXPECT_EQ(kNotFound,
            systemFunctions.RegOpenKeyExA(win::CurrentUserKey(), kSubKey, 0, win::kKeyRead, &key));
}

TEST_F(RegistryFile, AnOpenKeyKeepsItsValuesAndSubkeysOpenBelowIt) {
  WriteHostFile(path_, kStar);
  win::Hkey company = nullptr;
  ASSERT_EQ(0, systemFunctions.RegOpenKeyExA(win::CurrentUserKey(), "Software\\ExampleSoft", 0,
                                             win::kKeyRead, &company));
  win::Hkey game = nullptr;
  ASSERT_EQ(0, systemFunctions.RegOpenKeyExA(company, "StarJourney", 0, win::kKeyRead, &game));
  WriteHostFile(path_, std::string(kV5));  // the file changes; the open key does not

  win::Dword type = 0;
  uint8_t mode[4] = {};
  win::Dword size = sizeof mode;
  EXPECT_EQ(0, systemFunctions.RegQueryValueExA(game, "InstMode", nullptr, &type, mode, &size));
  EXPECT_EQ(4u, type);  // REG_DWORD
  EXPECT_EQ(0x0a, mode[0]);
  size = 0;
  EXPECT_EQ(0, systemFunctions.RegQueryValueExA(game, "InstPath", nullptr, &type, nullptr, &size));
  EXPECT_EQ(19u, size);  // the size alone, when no buffer is given
  EXPECT_EQ(1u, type);   // REG_SZ

  EXPECT_EQ(0, systemFunctions.RegCloseKey(game));
  EXPECT_EQ(0, systemFunctions.RegCloseKey(company));
  EXPECT_EQ(kInvalidHandle, systemFunctions.RegCloseKey(game));
  size = sizeof mode;
  EXPECT_EQ(kInvalidHandle,
            systemFunctions.RegQueryValueExA(game, "InstMode", nullptr, nullptr, mode, &size));
}

}  // namespace
