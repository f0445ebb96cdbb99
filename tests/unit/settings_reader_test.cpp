// Reading keys of UPDATE.INI (the archive's bytes in memory) and SETUP.INI
// (a real file on drive C:), the missing-key messages under the quiet flag,
// and the number conversion.
#include "settings/settings_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/platform.h"
#include "tests/support/test_platform.h"

namespace {

const win::Hwnd kOwner = reinterpret_cast<win::Hwnd>(0x4242);

class SettingsReader : public UpdaterTest {
 protected:
  void SetUp() override {
    UpdaterTest::SetUp();
    std::strcpy(updaterState.updateIniPath, "C:\\UPDATE.INI");
    std::strcpy(updaterState.setupIniPath, "C:\\SETUP.INI");
    std::strcpy(updaterState.caption, "Other Caption");
    updaterState.ownerWindow = kOwner;
  }
  void WriteIni(const char* name, const std::string& utf8) {
    WriteHostFile(DriveC() + "/" + name, Sjis(utf8));
  }
  // Every box shown: the texts (UTF-8) in order, each with the caption
  // "INSTCMMN", the owner window and the error icon with OK.
  void ExpectMessages(const std::vector<std::string>& texts) {
    ASSERT_EQ(texts.size(), messages.size());
    for (size_t i = 0; i < texts.size(); ++i) {
      EXPECT_EQ(Sjis(texts[i]), messages[i].text);
      EXPECT_EQ("INSTCMMN", messages[i].caption);
      EXPECT_EQ(kOwner, messages[i].owner);
      EXPECT_EQ(win::kMbOk | win::kMbIconError, messages[i].type);
    }
  }
};

struct KeyCase {
  const char* what;
  bool setupIni;        // ReadSetupKey of SETUP.INI, else ReadUpdateKey of UPDATE.INI
  const char* file;     // UTF-8; nullptr: no file at all
  const char* section;  // for ReadUpdateKey
  const char* key;
  int quietKeys;
  int size;
  int result;
  const char* value;    // UTF-8
  const char* message;  // UTF-8; nullptr: none
};

std::ostream& operator<<(std::ostream& out, const KeyCase& c) { return out << c.what; }

class SettingsKeys : public SettingsReader, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(SettingsKeys, ReadOrReport) {
  const KeyCase& c = GetParam();
  if (c.file != nullptr && c.setupIni) WriteIni("SETUP.INI", c.file);
  if (c.file != nullptr && !c.setupIni) UseUpdateIni(Sjis(c.file));
  updaterState.quietKeys = c.quietKeys;
  std::vector<char> buffer(size_t(c.size), 'x');
  int result = c.setupIni ? ReadSetupKey(c.key, buffer.data(), c.size)
                          : ReadUpdateKey(c.section, c.key, buffer.data(), c.size);
  EXPECT_EQ(c.result, result);
  const std::string value = Sjis(c.value);
  EXPECT_EQ(value, std::string(buffer.data()));
  // Every byte behind the value is zero, whatever the result.
  EXPECT_EQ(std::string(buffer.size() - value.size(), '\0'),
            std::string(buffer.data() + value.size(), buffer.size() - value.size()));
  ExpectMessages(c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Keys, SettingsKeys,
    ::testing::Values(
        KeyCase{"present", false, "[SETUP]\r\nGameTitle=ゲーム\r\n", "SETUP", "GameTitle", 0, 260,
                1, "ゲーム", nullptr},
        KeyCase{"missing, reported", false, "[SETUP]\r\nGameTitle=x\r\n", "SETUP", "CompanyName", 0,
                260, 0, "", "SETUP : CompanyName キーが存在しません"},
        KeyCase{"missing, quiet", false, "[SETUP]\r\n", "SETUP", "CompanyName", 1, 260, 0, "",
                nullptr},
        KeyCase{"any non-zero flag is quiet", false, "[SETUP]\r\n", "SETUP", "CompanyName", -3, 260,
                0, "", nullptr},
        KeyCase{"empty equals missing", false, "[UPDATE]\r\nUpdateFile00=\r\n", "UPDATE",
                "UpdateFile00", 0, 260, 0, "", "UPDATE : UpdateFile00 キーが存在しません"},
        KeyCase{"no file: every key missing", false, nullptr, "SETUP", "GameDir", 0, 260, 0, "",
                "SETUP : GameDir キーが存在しません"},
        KeyCase{"too long: cut and present", false, "[SETUP]\r\nGameDir=abcdefgh\r\n", "SETUP",
                "GameDir", 0, 5, 1, "abcd", nullptr},
        KeyCase{"SETUP.INI present", true, "[SETUP]\r\nGameExe=game.exe\r\n", nullptr, "GameExe", 0,
                260, 1, "game.exe", nullptr},
        KeyCase{"SETUP.INI missing, reported", true, "[SETUP]\r\n", nullptr, "GameExe", 0, 260, 0,
                "", "SETUP.INI : GameExe キーが存在しません"},
        KeyCase{"SETUP.INI reads section SETUP only", true, "[OTHER]\r\nGameExe=x\r\n", nullptr,
                "GameExe", 0, 260, 0, "", "SETUP.INI : GameExe キーが存在しません"},
        KeyCase{"SETUP.INI missing, quiet", true, nullptr, nullptr, "GameExe", 1, 260, 0, "",
                nullptr}));

TEST_F(SettingsReader, SetupIniGoesThroughThePlatformWithAnEmptyDefaultAndTheWholeSize) {
  struct Call {
    std::string section, key, fallback, file;
    win::Dword size;
  };
  static std::vector<Call> calls;
  calls.clear();
  platform.GetPrivateProfileStringA = [](const char* section, const char* key, const char* fallback,
                                         char* out, win::Dword size, const char* file)
                                          WINAPI_CC -> win::Dword {
    calls.push_back({section, key, fallback, file, size});
    std::strcpy(out, "v");
    return 1;
  };
  char buffer[64];
  EXPECT_EQ(1, ReadSetupKey("GameTitle", buffer, 20));
  ASSERT_EQ(1u, calls.size());
  EXPECT_EQ("SETUP", calls[0].section);
  EXPECT_EQ("GameTitle", calls[0].key);
  EXPECT_EQ("", calls[0].fallback);
  EXPECT_EQ("C:\\SETUP.INI", calls[0].file);
  EXPECT_EQ(20u, calls[0].size);
}

// The temp folder's UPDATE.INI can be rewritten or deleted by any program of
// the player: the keys come from the archive's bytes whatever the file says.
TEST_F(SettingsReader, UpdateIniIsReadFromTheArchiveBytesNeverFromTheTempFile) {
  static int platformReads;
  platformReads = 0;
  platform.GetPrivateProfileStringA = [](const char*, const char*, const char*, char* out,
                                         win::Dword, const char*) WINAPI_CC -> win::Dword {
    ++platformReads;
    std::strcpy(out, "..\\..\\Windows\\evil.dll");
    return 26;
  };
  WriteIni("UPDATE.INI", "[UPDATE]\r\nUpdateFile00=..\\evil.dll\r\nUpdateFile01=x\r\n");
  UseUpdateIni("[UPDATE]\r\nUpdateFile00=game.dat\r\n");
  char buffer[64];
  EXPECT_EQ(1, ReadUpdateKey("UPDATE", "UpdateFile00", buffer, sizeof buffer));
  EXPECT_STREQ("game.dat", buffer);
  updaterState.quietKeys = 1;
  EXPECT_EQ(0, ReadUpdateKey("UPDATE", "UpdateFile01", buffer, sizeof buffer));
  EXPECT_EQ(0, platformReads);
}

TEST_F(SettingsReader, AMessageOfLongNamesIsCutToItsBuffer) {
  UseUpdateIni("[SETUP]\r\n");
  const std::string section(700, 's'), key(700, 'k');
  char buffer[16];
  EXPECT_EQ(0, ReadUpdateKey(section.c_str(), key.c_str(), buffer, sizeof buffer));
  ASSERT_EQ(1u, messages.size());
  EXPECT_EQ(1023u, messages[0].text.size());
  EXPECT_EQ(section + " : " + key.substr(0, 1023 - 703), messages[0].text);
}

TEST_F(SettingsReader, ShowSettingsErrorHasItsOwnCaptionAndNoOwnerBeforeTheWizard) {
  updaterState.ownerWindow = nullptr;
  ShowSettingsError("text");
  ASSERT_EQ(1u, messages.size());
  EXPECT_EQ("text", messages[0].text);
  EXPECT_EQ("INSTCMMN", messages[0].caption);
  EXPECT_EQ(nullptr, messages[0].owner);
  EXPECT_EQ(win::kMbOk | win::kMbIconError, messages[0].type);
}

struct NumberCase {
  const char* line;  // the SETUP.INI line; "" for none
  int result;
  int32_t value;  // out afterwards; it starts as 77
};

class SettingsNumbers : public SettingsReader, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(SettingsNumbers, ConvertsDecimalText) {
  const NumberCase& c = GetParam();
  WriteIni("SETUP.INI", std::string("[SETUP]\r\n") + c.line + "\r\n");
  updaterState.quietKeys = 1;
  int32_t value = 77;
  EXPECT_EQ(c.result, ReadSetupNumber("Count", &value));
  EXPECT_EQ(c.value, value);
  EXPECT_TRUE(messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Numbers, SettingsNumbers,
                         ::testing::Values(NumberCase{"Count=12abc", 1, 12},
                                           NumberCase{"Count=abc", 1, 0}, NumberCase{"", 0, 77},
                                           NumberCase{"Count=", 0, 77},
                                           NumberCase{"Count=  -5", 1, -5},
                                           NumberCase{"Count=+8", 1, 8},
                                           NumberCase{"Count=2147483647", 1, 2147483647},
                                           NumberCase{"Count=4294967297", 1, 1}));

TEST_F(SettingsReader, AMissingNumberIsReportedWhileTheFlagIsZero) {
  WriteIni("SETUP.INI", "[SETUP]\r\n");
  int32_t value = 5;
  EXPECT_EQ(0, ReadSetupNumber("InstallSelects", &value));
  EXPECT_EQ(5, value);
  ExpectMessages({"SETUP.INI : InstallSelects キーが存在しません"});
}

}  // namespace
