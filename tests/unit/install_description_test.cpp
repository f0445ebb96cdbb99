// ReadInstallDescription over real SETUP.INI files on drive C:: a complete
// description with single keys changed or removed per case.
#include "settings/install_description.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/updater_state.h"
#include "host/codepage.h"
#include "tests/support/test_platform.h"

namespace {

const win::Hwnd kOwner = reinterpret_cast<win::Hwnd>(0x77);
const char* const kRemove = nullptr;

// Changes to the base description: a value (UTF-8), or kRemove.
using Changes = std::vector<std::pair<std::string, const char*>>;

class InstallDescription : public UpdaterTest {
 protected:
  void SetUp() override {
    UpdaterTest::SetUp();
    std::strcpy(updaterState.setupIniPath, "C:\\SETUP.INI");
    updaterState.ownerWindow = kOwner;
    updaterState.quietKeys = 1;  // as the updater leaves it before this reader
  }

  // Writes the base description with `changes`: changed keys keep their
  // place, new ones are appended.
  void WriteDescription(const Changes& changes) {
    std::vector<std::pair<std::string, std::string>> keys = {
        {"CompanyName", "メーカー"}, {"GameTitle", "ゲーム"},         {"GameDir", "GameDir"},
        {"GameExe", "game.exe"},     {"UninstExe", "uninst.exe"},     {"SetupBmp", "a.bmp,b.bmp"},
        {"InstallSelects", "1"},     {"InstallTitle0", "標準"},       {"InstallFiles0", "data.pak"},
        {"Shortcuts", "1"},          {"Shortcut0", "ゲーム,game.exe"}};
    for (const auto& change : changes) {
      auto found = keys.begin();
      while (found != keys.end() && found->first != change.first) ++found;
      if (change.second == kRemove) {
        if (found != keys.end()) keys.erase(found);
      } else if (found != keys.end()) {
        found->second = change.second;
      } else {
        keys.emplace_back(change.first, change.second);
      }
    }
    std::string text = "; the installation's description\r\n[SETUP]\r\n";
    for (const auto& key : keys) text += key.first + "=" + key.second + "\r\n";
    WriteHostFile(DriveC() + "/SETUP.INI", Sjis(text));
  }

  int Read(const Changes& changes) {
    WriteDescription(changes);
    return ReadInstallDescription();
  }

  // The boxes shown (UTF-8), each with the caption "INSTCMMN", the owner
  // and the error icon with OK.
  void ExpectMessages(const std::vector<std::string>& texts) {
    ASSERT_EQ(texts.size(), messages.size());
    for (size_t i = 0; i < texts.size(); ++i) {
      EXPECT_EQ(Sjis(texts[i]), messages[i].text);
      EXPECT_EQ("INSTCMMN", messages[i].caption);
      EXPECT_EQ(kOwner, messages[i].owner);
      EXPECT_EQ(win::kMbOk | win::kMbIconError, messages[i].type);
    }
  }

  static std::string Text(const char* field) { return Cp932ToUtf8Lossy(field); }
};

TEST_F(InstallDescription, AMinimalDescriptionTakesEveryDefault) {
  std::strcpy(updaterState.gameClass, "ClassFromUpdateIni");
  std::strcpy(updaterState.execApp[0], "stale");
  ASSERT_EQ(1, Read({}));
  ExpectMessages({});
  const UpdaterState& s = updaterState;
  EXPECT_EQ("メーカー", Text(s.companyName));
  EXPECT_EQ("ゲーム", Text(s.gameTitle));
  EXPECT_EQ("GameDir", Text(s.gameDir));
  EXPECT_EQ("game.exe", Text(s.gameExe));
  EXPECT_EQ("uninst.exe", Text(s.uninstExe));
  EXPECT_EQ("a.bmp", Text(s.setupBitmaps[0]));
  EXPECT_EQ("b.bmp", Text(s.setupBitmaps[1]));
  EXPECT_EQ("", Text(s.setupBitmaps[2]));
  EXPECT_EQ(1, s.installSelectCount);
  EXPECT_EQ("標準", Text(s.installSelections[0].title));
  EXPECT_EQ("data.pak", Text(s.installSelections[0].files[0]));
  EXPECT_EQ("", Text(s.installSelections[0].files[1]));
  EXPECT_EQ(0u, s.installSelections[0].installSize);
  EXPECT_EQ(1, s.shortcutCount);
  EXPECT_EQ("ゲーム", Text(s.gameClass));  // replaces UPDATE.INI's class
  EXPECT_EQ(0, s.defaultSelect);
  for (const auto& file : s.diskCheckFiles) EXPECT_EQ("", Text(file));
  EXPECT_EQ("", Text(s.execApp[0]));
  EXPECT_EQ("インストール方法を選択して下さい", Text(s.selectSetupMessage));
  EXPECT_EQ("savedata", Text(s.saveDataFolderNameInInstall));
  EXPECT_EQ("GameDir", Text(s.saveDataFolderName));
  EXPECT_EQ("InstPath", Text(s.strKeyInstPath));
  EXPECT_EQ("", Text(s.shortcutFolder));
  EXPECT_EQ(0, s.installAfterAdd);
  EXPECT_EQ("ゲーム", Text(s.uninstTitle));
  EXPECT_EQ(0, s.instPathMode);
  EXPECT_EQ("", Text(s.gameExe64));
  EXPECT_EQ(1, s.quietKeys);
}

TEST_F(InstallDescription, EveryOptionalKeyIsStored) {
  ASSERT_EQ(1, Read({{"GameClass", "GameWindow"},
                     {"DefaultSelect", "7"},
                     {"InstallSize0", "1000"},
                     {"DiskCheckFile0", "disc0.chk"},
                     {"DiskCheckFile9", "ディスク9.chk"},
                     {"ExecApp", "setup.exe, /s"},
                     {"SelectSetupMessage", "選んで下さい"},
                     {"SaveDataFolderNameInInstall", "save"},
                     {"SaveDataFolderName", "セーブ"},
                     {"StrKeyInstPath", "Path"},
                     {"ShortcutFolder", "メーカー\\ゲーム"},
                     {"InstallAfterAdd", "0"},
                     {"UninstTitle", "削除"},
                     {"InstPathMode", "3"},
                     {"GameExe64", "game64.exe"}}));
  ExpectMessages({});
  const UpdaterState& s = updaterState;
  EXPECT_EQ("GameWindow", Text(s.gameClass));
  EXPECT_EQ(7, s.defaultSelect);  // not compared with the number of selections
  EXPECT_EQ(1000u, s.installSelections[0].installSize);
  EXPECT_EQ("disc0.chk", Text(s.diskCheckFiles[0]));
  EXPECT_EQ("", Text(s.diskCheckFiles[5]));
  EXPECT_EQ("ディスク9.chk", Text(s.diskCheckFiles[9]));
  EXPECT_EQ("setup.exe", Text(s.execApp[0]));
  EXPECT_EQ("/s", Text(s.execApp[1]));
  EXPECT_EQ("選んで下さい", Text(s.selectSetupMessage));
  EXPECT_EQ("save", Text(s.saveDataFolderNameInInstall));
  EXPECT_EQ("セーブ", Text(s.saveDataFolderName));
  EXPECT_EQ("Path", Text(s.strKeyInstPath));
  EXPECT_EQ("メーカー\\ゲーム", Text(s.shortcutFolder));
  EXPECT_EQ(0, s.installAfterAdd);
  EXPECT_EQ("削除", Text(s.uninstTitle));
  EXPECT_EQ(3, s.instPathMode);
  EXPECT_EQ("game64.exe", Text(s.gameExe64));
}

TEST_F(InstallDescription, StartingWithTheFlagAtZeroReportsNoOptionalKey) {
  updaterState.quietKeys = 0;
  EXPECT_EQ(1, Read({}));
  ExpectMessages({});
  EXPECT_EQ(1, updaterState.quietKeys);
}

struct FailCase {
  const char* what;
  Changes changes;
  std::vector<std::string> messages;  // UTF-8
  int quietOnEntry = 1;
  int quietAfter = 1;
};

std::ostream& operator<<(std::ostream& out, const FailCase& c) { return out << c.what; }

class DescriptionFailures : public InstallDescription,
                            public ::testing::WithParamInterface<FailCase> {};

TEST_P(DescriptionFailures, StopWithTheirMessage) {
  const FailCase& c = GetParam();
  updaterState.quietKeys = c.quietOnEntry;
  EXPECT_EQ(0, Read(c.changes));
  ExpectMessages(c.messages);
  EXPECT_EQ(c.quietAfter, updaterState.quietKeys);
}

// clang-format off
const FailCase kFailures[] = {
    {"no CompanyName: silent in the updater", {{"CompanyName", kRemove}}, {}},
    {"no CompanyName while the flag is 0", {{"CompanyName", kRemove}},
     {"SETUP.INI : CompanyName キーが存在しません"}, 0, 0},
    {"empty GameTitle", {{"GameTitle", ""}}, {"SETUP.INI : GameTitle キーが存在しません"}, 0, 0},
    {"no GameDir", {{"GameDir", kRemove}}, {"SETUP.INI : GameDir キーが存在しません"}, 0, 0},
    {"no GameExe", {{"GameExe", kRemove}}, {"SETUP.INI : GameExe キーが存在しません"}, 0, 0},
    {"no UninstExe", {{"UninstExe", kRemove}}, {"SETUP.INI : UninstExe キーが存在しません"}, 0, 0},
    {"no SetupBmp", {{"SetupBmp", kRemove}}, {}},
    {"SetupBmp starting with a comma", {{"SetupBmp", ",a.bmp"}}, {"SETUP.INI : SetupBmps エラー"}},
    {"SetupBmp of blanks and a comma", {{"SetupBmp", " \t,a.bmp"}},
     {"SETUP.INI : SetupBmps エラー"}},
    {"no InstallSelects", {{"InstallSelects", kRemove}}, {}},
    {"five selections", {{"InstallSelects", "5"}}, {"SETUP.INI : InstallSelect オーバー"}},
    {"no InstallTitle0", {{"InstallTitle0", kRemove}}, {}},
    {"no InstallFiles0", {{"InstallFiles0", kRemove}}, {}},
    {"InstallFiles0 without a token", {{"InstallFiles0", ",data.pak"}},
     {"SETUP.INI : InstallFiles0 エラー"}},
    {"InstallFiles1 without a token",
     {{"InstallSelects", "2"}, {"InstallTitle1", "t"}, {"InstallFiles1", "  ,"}},
     {"SETUP.INI : InstallFiles1 エラー"}},
    {"no Shortcuts", {{"Shortcuts", kRemove}}, {}},
    {"eleven shortcuts", {{"Shortcuts", "11"}}, {"SETUP.INI : Shortcuts オーバー"}},
    {"a shortcut of one field", {{"Shortcut0", "game"}}, {"SETUP.INI : Shortcut0 エラー"}},
    {"a shortcut whose second field is empty", {{"Shortcuts", "2"}, {"Shortcut1", "a,,b"}},
     {"SETUP.INI : Shortcut1 エラー"}},
    {"no Shortcut1", {{"Shortcuts", "2"}}, {}},
    {"ExecApp of one token", {{"ExecApp", "setup.exe"}}, {"SETUP.INI : ExecApp エラー"}},
    {"ExecApp with an empty second field", {{"ExecApp", "setup.exe,,x"}},
     {"SETUP.INI : ExecApp エラー"}},
    {"add-on set without InstallAddFiles, reported although the flag was 1",
     {{"InstallAfterAdd", "1"}}, {"SETUP.INI : InstallAddFiles キーが存在しません"}, 1, 0},
    {"add-on files without a token", {{"InstallAfterAdd", "1"}, {"InstallAddFiles", ",x"}},
     {"SETUP.INI : InstallAddFiles エラー"}, 1, 0},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Failures, DescriptionFailures, ::testing::ValuesIn(kFailures));

TEST_F(InstallDescription, AFailureKeepsWhatWasReadBeforeIt) {
  EXPECT_EQ(0, Read({{"GameClass", "Window"}, {"ExecApp", "one"}}));
  EXPECT_EQ("Window", Text(updaterState.gameClass));              // read before ExecApp
  EXPECT_EQ("", Text(updaterState.saveDataFolderNameInInstall));  // never reached
}

TEST_F(InstallDescription, FourSelectionsAndTenShortcutsAreAccepted) {
  Changes changes;
  for (int i = 0; i < 4; ++i) {
    changes.emplace_back("InstallTitle" + std::to_string(i), "title");
    changes.emplace_back("InstallFiles" + std::to_string(i), "files.pak");
  }
  for (int k = 0; k < 10; ++k) changes.emplace_back("Shortcut" + std::to_string(k), "n,t.exe");
  changes.emplace_back("InstallSelects", "4");
  changes.emplace_back("Shortcuts", "10");
  ASSERT_EQ(1, Read(changes));
  ExpectMessages({});
  EXPECT_EQ(4, updaterState.installSelectCount);
  EXPECT_EQ("files.pak", Text(updaterState.installSelections[3].files[0]));
  EXPECT_EQ(10, updaterState.shortcutCount);
  EXPECT_EQ("t.exe", Text(updaterState.shortcuts[9].fields[1]));
}

TEST_F(InstallDescription, NoSelectionOrShortcutKeysAreReadForCountsOfZeroOrLess) {
  for (const char* count : {"0", "-1"}) {
    SCOPED_TRACE(count);
    std::strcpy(updaterState.installSelections[0].title, "kept");
    updaterState.installSelections[0].installSize = 5;
    std::strcpy(updaterState.shortcuts[0].fields[0], "kept");
    ASSERT_EQ(1, Read({{"InstallSelects", count},
                       {"InstallTitle0", kRemove},
                       {"InstallFiles0", kRemove},
                       {"InstallSize0", "99"},
                       {"Shortcuts", count},
                       {"Shortcut0", kRemove}}));
    ExpectMessages({});
    EXPECT_EQ("kept", Text(updaterState.installSelections[0].title));
    EXPECT_EQ(5u, updaterState.installSelections[0].installSize);
    EXPECT_EQ("kept", Text(updaterState.shortcuts[0].fields[0]));
  }
}

TEST_F(InstallDescription, DiscNumbersFollowTheirPrefixesAndRestartWithEachSelection) {
  ASSERT_EQ(1, Read({{"InstallSelects", "2"},
                     {"InstallFiles0", "1:a.pak,b.pak,2:c.pak"},
                     {"InstallTitle1", "t"},
                     {"InstallFiles1", "d.pak, e.pak"}}));
  const InstallSelection& first = updaterState.installSelections[0];
  EXPECT_EQ("a.pak", Text(first.files[0]));
  EXPECT_EQ("b.pak", Text(first.files[1]));
  EXPECT_EQ("c.pak", Text(first.files[2]));
  EXPECT_EQ("", Text(first.files[3]));
  EXPECT_EQ((std::vector<int32_t>{1, 1, 2}), std::vector<int32_t>(first.discs, first.discs + 3));
  EXPECT_EQ(1, first.usesDiscs);
  const InstallSelection& second = updaterState.installSelections[1];
  EXPECT_EQ("e.pak", Text(second.files[1]));
  EXPECT_EQ((std::vector<int32_t>{0, 0}), std::vector<int32_t>(second.discs, second.discs + 2));
  EXPECT_EQ(0, second.usesDiscs);
}

std::string NumberedList(const char* stem, int count) {
  std::string list;
  for (int i = 0; i < count; ++i) list += (i ? "," : "") + std::string(stem) + std::to_string(i);
  return list;
}

TEST_F(InstallDescription, ListsKeepAsManyTokensAsTheyHaveSlots) {
  const std::string bitmaps = NumberedList("b", 25), files = NumberedList("f", 45);
  ASSERT_EQ(1, Read({{"SetupBmp", bitmaps.c_str()}, {"InstallFiles0", files.c_str()}}));
  ExpectMessages({});
  EXPECT_EQ("b19", Text(updaterState.setupBitmaps[19]));
  EXPECT_EQ("f39", Text(updaterState.installSelections[0].files[39]));
}

TEST_F(InstallDescription, AnEmptyFieldEndsAList) {
  ASSERT_EQ(1, Read({{"SetupBmp", "a.bmp,,b.bmp"}}));
  EXPECT_EQ("a.bmp", Text(updaterState.setupBitmaps[0]));
  EXPECT_EQ("", Text(updaterState.setupBitmaps[1]));
}

struct ShortcutCase {
  const char* value;
  std::vector<std::string> fields;  // all four
};

std::ostream& operator<<(std::ostream& out, const ShortcutCase& c) { return out << c.value; }

class ShortcutFields : public InstallDescription,
                       public ::testing::WithParamInterface<ShortcutCase> {};

TEST_P(ShortcutFields, TwoRequiredTwoOptional) {
  const ShortcutCase& c = GetParam();
  std::strcpy(updaterState.shortcuts[0].fields[3], "stale");
  ASSERT_EQ(1, Read({{"Shortcut0", c.value}}));
  std::vector<std::string> fields;
  for (const auto& field : updaterState.shortcuts[0].fields) fields.push_back(Text(field));
  EXPECT_EQ(c.fields, fields);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Values, ShortcutFields,
    ::testing::Values(ShortcutCase{"ゲーム,game.exe", {"ゲーム", "game.exe", "", ""}},
                      ShortcutCase{"a,b,", {"a", "b", "", ""}},
                      ShortcutCase{"a,b,c", {"a", "b", "c", ""}},
                      ShortcutCase{"a,b,c,d,e", {"a", "b", "c", "d"}},
                      ShortcutCase{"a,b,,d", {"a", "b", "", "d"}},
                      ShortcutCase{"a,b,,,,d", {"a", "b", "", "d"}},
                      ShortcutCase{"a,b,, \t,d", {"a", "b", "", "d"}},
                      ShortcutCase{"a,b,c,,e", {"a", "b", "c", ""}},
                      ShortcutCase{" a , b ,c", {"a ", "b ", "c", ""}}));
// clang-format on

struct SizeCase {
  const char* value;  // nullptr: no InstallSize0
  uint64_t size;
};

std::ostream& operator<<(std::ostream& out, const SizeCase& c) {
  return out << (c.value ? c.value : "(none)");
}

class InstallSizes : public InstallDescription, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(InstallSizes, ReadAsUnsigned64BitNumbers) {
  const SizeCase& c = GetParam();
  updaterState.installSelections[0].installSize = 5;
  ASSERT_EQ(1, Read({{"InstallSize0", c.value}}));
  EXPECT_EQ(c.size, updaterState.installSelections[0].installSize);
}

INSTANTIATE_TEST_SUITE_P(
    Values, InstallSizes,
    ::testing::Values(SizeCase{"12345678901", 12345678901ull},
                      SizeCase{"9999999999999999999999999", 9999999999999999999ull},
                      SizeCase{"-1", ~uint64_t(0)}, SizeCase{"  42 MB", 42}, SizeCase{"MB", 0},
                      SizeCase{"", 0}, SizeCase{kRemove, 0}));

TEST_F(InstallDescription, TheAddOnSetTakesTheLastSlotButItsTitle) {
  Changes changes = {{"InstallSelects", "4"}};
  for (int i = 0; i < 4; ++i) {
    changes.emplace_back("InstallTitle" + std::to_string(i), i == 3 ? "T3" : "t");
    changes.emplace_back("InstallFiles" + std::to_string(i), "own1.pak,own2.pak,own3.pak");
    changes.emplace_back("InstallSize" + std::to_string(i), "100");
  }
  changes.insert(changes.end(), {{"InstallAfterAdd", "2"},
                                 {"InstallAddFiles", "2:add.pak,more.pak"},
                                 {"InstallAddSize", "777"}});
  ASSERT_EQ(1, Read(changes));
  ExpectMessages({});
  const InstallSelection& slot = updaterState.installSelections[3];
  EXPECT_EQ(1, updaterState.installAfterAdd);
  EXPECT_EQ("T3", Text(slot.title));
  EXPECT_EQ("add.pak", Text(slot.files[0]));
  EXPECT_EQ("more.pak", Text(slot.files[1]));
  EXPECT_EQ("", Text(slot.files[2]));
  EXPECT_EQ(2, slot.discs[1]);
  EXPECT_EQ(1, slot.usesDiscs);
  EXPECT_EQ(777u, slot.installSize);
  EXPECT_EQ(100u, updaterState.installSelections[2].installSize);
  EXPECT_EQ(1, updaterState.quietKeys);
}

TEST_F(InstallDescription, AnAddOnSetWithoutItsSizeHasSizeZero) {
  ASSERT_EQ(1, Read({{"InstallAfterAdd", "1"}, {"InstallAddFiles", "add.pak"}}));
  EXPECT_EQ("add.pak", Text(updaterState.installSelections[3].files[0]));
  EXPECT_EQ(0, updaterState.installSelections[3].usesDiscs);
  EXPECT_EQ(0u, updaterState.installSelections[3].installSize);
}

TEST_F(InstallDescription, NoAddOnSetUnlessInstallAfterAddIsANonZeroNumber) {
  for (const char* flag : {"0", "abc", "", static_cast<const char*>(nullptr)}) {
    SCOPED_TRACE(flag ? flag : "(none)");
    std::strcpy(updaterState.installSelections[3].files[0], "own.pak");
    ASSERT_EQ(1, Read({{"InstallAfterAdd", flag}, {"InstallAddFiles", "add.pak"}}));
    EXPECT_EQ(0, updaterState.installAfterAdd);
    EXPECT_EQ("own.pak", Text(updaterState.installSelections[3].files[0]));
  }
}

TEST_F(InstallDescription, LongValuesAndTokensAreCutToTheirBuffers) {
  const std::string title(300, 't'), message(1100, 'm');
  const std::string files = std::string(300, 'f') + ",next.pak";
  ASSERT_EQ(1, Read({{"GameTitle", title.c_str()},
                     {"SelectSetupMessage", message.c_str()},
                     {"InstallFiles0", files.c_str()}}));
  EXPECT_EQ(std::string(259, 't'), Text(updaterState.gameTitle));
  EXPECT_EQ(std::string(259, 't'), Text(updaterState.gameClass));
  EXPECT_EQ(std::string(259, 't'), Text(updaterState.uninstTitle));
  EXPECT_EQ(std::string(1023, 'm'), Text(updaterState.selectSetupMessage));
  EXPECT_EQ(std::string(259, 'f'), Text(updaterState.installSelections[0].files[0]));
  EXPECT_EQ("next.pak", Text(updaterState.installSelections[0].files[1]));
}

TEST_F(InstallDescription, TheDiscOfTheLastTokenReadStays) {
  ASSERT_EQ(1, Read({{"ExecApp", "3:setup.exe,/s,ignored"}}));
  EXPECT_EQ("setup.exe", Text(updaterState.execApp[0]));
  EXPECT_EQ("/s", Text(updaterState.execApp[1]));
  EXPECT_EQ(3, updaterState.currentDisc);
}

}  // namespace
