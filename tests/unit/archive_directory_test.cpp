#include "archive/archive_directory.h"

#include <gtest/gtest.h>

#include <cstring>

#include "authoring/archive_writer.h"
#include "tests/support/test_platform.h"
#include "texts.h"

namespace {

ArchiveItem Item(const std::string& name, const std::string& content, bool scramble = false) {
  ArchiveItem item;
  item.name = name;
  item.data.assign(content.begin(), content.end());
  item.scramble = scramble;
  item.fileTime = win::ToFileTime(0x01D0000012345678ull);
  return item;
}

std::vector<uint8_t> Build(const std::vector<ArchiveItem>& items,
                           DirectoryForm form = DirectoryForm::kPlain) {
  ArchiveOptions options;
  options.directory = form;
  std::vector<uint8_t> image;
  std::string error;
  EXPECT_TRUE(BuildArchive(items, options, &image, &error)) << error;
  return image;
}

void PutU32(std::vector<uint8_t>* image, size_t offset, uint32_t value) {
  std::memcpy(image->data() + offset, &value, 4);
}

class ArchiveDirectoryTest : public UpdaterTest {};

TEST_F(ArchiveDirectoryTest, PlainAndScrambledDirectoriesOpenAlike) {
  for (DirectoryForm form : {DirectoryForm::kPlain, DirectoryForm::kScrambled}) {
    ASSERT_TRUE(UseArchive(Build({Item("UPDATE.INI", "[SETUP]"), Item("a.dat", "xyz")}, form)));
    const ArchiveDirectory& d = *updaterState.archiveDirectory;
    EXPECT_EQ(kArchiveMagic, d.header.magic);
    EXPECT_EQ(2u, d.header.entryCount);
    EXPECT_STREQ("UPDATE.INI", d.entries[0].name);
    EXPECT_STREQ("a.dat", d.entries[1].name);
    EXPECT_EQ(3u, d.entries[1].unpackedSize);
    CloseArchive(updaterState.archiveDirectory);
    updaterState.archiveDirectory = nullptr;
  }
}

TEST_F(ArchiveDirectoryTest, EmptyArchiveFindsNothing) {
  ASSERT_TRUE(UseArchive(Build({})));
  EXPECT_EQ(0u, updaterState.archiveDirectory->header.entryCount);
  EXPECT_EQ(nullptr, ReadEntry("UPDATE.INI", nullptr, nullptr));
  ASSERT_EQ(1u, messages.size());
  EXPECT_EQ(kMsgEntryNotFound, messages[0].text);
  EXPECT_EQ("UPDATE", messages[0].caption);
  EXPECT_EQ(win::kMbOk | win::kMbIconError, messages[0].type);
}

// Data offsets: entry i starts behind the padded sizes of those before it.
TEST_F(ArchiveDirectoryTest, StoredBytesFollowThePaddingRule) {
  std::vector<ArchiveItem> items = {Item("empty", ""), Item("one", "1"),
                                    Item("sixteen", std::string(16, 's')),
                                    Item("seventeen", std::string(17, 'v')), Item("last", "L")};
  ASSERT_TRUE(UseArchive(Build(items)));
  const size_t expected[] = {16, 16, 32, 48, 80};
  for (size_t i = 0; i < items.size(); ++i) {
    const uint8_t* stored = nullptr;
    ASSERT_NE(nullptr, FindEntry(items[i].name.c_str(), &stored));
    EXPECT_EQ(expected[i], size_t(stored - updaterState.archiveImage)) << items[i].name;
  }
}

struct LookupCase {
  const char* stored;  // UTF-8
  const char* sought;  // UTF-8
  bool found;
};

class ArchiveLookup : public ArchiveDirectoryTest,
                      public ::testing::WithParamInterface<LookupCase> {};

TEST_P(ArchiveLookup, NamesCompareIgnoringCaseAsTheJapaneseLocaleDoes) {
  const LookupCase c = GetParam();
  ASSERT_TRUE(UseArchive(Build({Item(Sjis(c.stored), "content")})));
  EXPECT_EQ(c.found, FindEntry(Sjis(c.sought).c_str(), nullptr) != nullptr)
      << c.stored << " / " << c.sought;
}

INSTANTIATE_TEST_SUITE_P(
    Names, ArchiveLookup,
    ::testing::Values(LookupCase{"UPDATE.INI", "update.ini", true},
                      LookupCase{"ＤＡＴＡ.bin", "ｄａｔａ.BIN", true},  // full-width Latin
                      LookupCase{"ΑΩ.txt", "αω.TXT", true},              // Greek
                      LookupCase{"ДАННЫЕ.dat", "данные.dat", true},      // Cyrillic
                      LookupCase{"表.dat", "表.dat", true},              // second byte 0x5C
                      LookupCase{"表.dat", "俵.dat", false},
                      LookupCase{"ｱ.dat", "ア.dat", false},  // half-width is another letter
                      LookupCase{"a.dat", "a.da", false}));

TEST_F(ArchiveDirectoryTest, FirstOfTwoNamesDifferingInCaseWins) {
  ASSERT_TRUE(UseArchive(Build({Item("Same.txt", "first"), Item("SAME.TXT", "second")})));
  uint32_t size = 0;
  bool owned = true;
  const uint8_t* content = ReadEntry("same.txt", &size, &owned);
  ASSERT_NE(nullptr, content);
  EXPECT_EQ("first", std::string(reinterpret_cast<const char*>(content), size));
}

TEST_F(ArchiveDirectoryTest, PlainEntryIsReadInPlaceAndScrambledOneIsUndone) {
  ASSERT_TRUE(UseArchive(
      Build({Item("plain.txt", "plain text"), Item("hidden.txt", "scrambled text", true)})));
  uint32_t size = 0;
  bool owned = true;
  const uint8_t* plain = ReadEntry("plain.txt", &size, &owned);
  ASSERT_NE(nullptr, plain);
  EXPECT_FALSE(owned);
  EXPECT_EQ(updaterState.archiveImage + 16, plain);
  EXPECT_EQ(10u, size);

  uint8_t* hidden = ReadEntry("hidden.txt", &size, &owned);
  ASSERT_NE(nullptr, hidden);
  EXPECT_TRUE(owned);
  EXPECT_EQ("scrambled text", std::string(reinterpret_cast<char*>(hidden), size));
  platform.GlobalFree(hidden);
  EXPECT_TRUE(messages.empty());
}

// A damaged image never gets a directory, whatever part of it is wrong.
struct DamageCase {
  const char* what;
  void (*damage)(std::vector<uint8_t>* image);
};

class ArchiveDamage : public ArchiveDirectoryTest,
                      public ::testing::WithParamInterface<DamageCase> {};

TEST_P(ArchiveDamage, OpenArchiveRefusesIt) {
  std::vector<uint8_t> image = Build({Item("UPDATE.INI", "[SETUP]"), Item("b", "bbbb")});
  GetParam().damage(&image);
  EXPECT_FALSE(UseArchive(image)) << GetParam().what;
}

constexpr size_t kDirectoryAt = 48;  // two entries of 7 and 4 bytes, each padded to 16

INSTANTIATE_TEST_SUITE_P(
    Damage, ArchiveDamage,
    ::testing::Values(DamageCase{"bad magic", [](std::vector<uint8_t>* i) { (*i)[0] = 'X'; }},
                      DamageCase{"shorter than a header",
                                 [](std::vector<uint8_t>* i) { i->resize(15); }},
                      DamageCase{
                          "directory past the end",
                          [](std::vector<uint8_t>* i) { PutU32(i, 8, uint32_t(i->size() + 1)); }},
                      DamageCase{"directory inside the header",
                                 [](std::vector<uint8_t>* i) { PutU32(i, 8, 8); }},
                      DamageCase{"more entries than the directory holds",
                                 [](std::vector<uint8_t>* i) { PutU32(i, 12, 3); }},
                      DamageCase{"huge entry count",
                                 [](std::vector<uint8_t>* i) { PutU32(i, 12, 0xFFFFFFFF); }},
                      DamageCase{
                          "entry data past the data area",
                          [](std::vector<uint8_t>* i) { PutU32(i, kDirectoryAt + 280 + 276, 40); }},
                      DamageCase{"plain entry larger than its stored bytes",
                                 [](std::vector<uint8_t>* i) { PutU32(i, kDirectoryAt + 272, 8); }},
                      DamageCase{"compressed entry that no stream can yield",
                                 [](std::vector<uint8_t>* i) {
                                   (*i)[kDirectoryAt + 260] = kEntryCompressed;
                                   PutU32(i, kDirectoryAt + 272, 0x7FFFFFFF);
                                 }},
                      DamageCase{"name without its terminator",
                                 [](std::vector<uint8_t>*
                                        i) { std::memset(i->data() + kDirectoryAt, 'n', 260); }},
                      DamageCase{
                          "compressed directory that is no stream",
                          [](std::vector<uint8_t>* i) { PutU32(i, 4, kDirectoryCompressed); }}));

TEST_F(ArchiveDirectoryTest, FailedAllocationGivesNoDirectory) {
  std::vector<uint8_t> image = Build({Item("UPDATE.INI", "[SETUP]")});
  platform.GlobalAlloc = [](win::Uint, size_t) -> void* { return nullptr; };
  EXPECT_FALSE(UseArchive(image));
}

TEST_F(ArchiveDirectoryTest, ReadEntryReportsAFailedAllocation) {
  ASSERT_TRUE(UseArchive(Build({Item("hidden.txt", "scrambled", true)})));
  platform.GlobalAlloc = [](win::Uint, size_t) -> void* { return nullptr; };
  EXPECT_EQ(nullptr, ReadEntry("hidden.txt", nullptr, nullptr));
  ASSERT_EQ(1u, messages.size());
  EXPECT_EQ(kMsgCantAllocate, messages[0].text);
}

}  // namespace
