// The packing tool's archive reader: a sound archive of every form reads
// back entry by entry, and each kind of damage is found and placed.
#include "authoring/archive_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "authoring/archive_writer.h"
#include "authoring/compressor.h"
#include "tests/support/test_platform.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<uint8_t> Compress(const uint8_t* data, size_t size) {
  return CompressStream(data, size);
}

ArchiveItem Item(const std::string& name, const std::string& content, bool compress,
                 bool scramble) {
  ArchiveItem item;
  item.name = name;
  item.data.assign(content.begin(), content.end());
  item.compress = compress;
  item.scramble = scramble;
  item.fileTime = win::ToFileTime(0x01D9A0B0C0D0E0F0ull);
  return item;
}

const std::string kText =
    std::string(300, 'x') + "[SETUP]\r\nVersion=1.02\r\n" + std::string(90, 'y');

// Entry 0 compressed, entry 1 stored plain, entry 2 compressed; nothing
// scrambled, so records and streams can be altered in place.
Bytes Archive(DirectoryForm form = DirectoryForm::kPlain, bool scramble = false) {
  ArchiveOptions options;
  options.directory = form;
  options.compress = Compress;
  Bytes image;
  std::string error;
  EXPECT_TRUE(BuildArchive(
      {Item("UPDATE.INI", kText, true, scramble), Item("plain.dat", "0123456789", false, scramble),
       Item(Sjis("データ.bin"), kText + kText, true, scramble)},
      options, &image, &error))
      << error;
  return image;
}

uint32_t GetU32(const Bytes& image, size_t offset) {
  uint32_t v;
  std::memcpy(&v, image.data() + offset, 4);
  return v;
}
void PutU32(Bytes* image, size_t offset, uint32_t v) { std::memcpy(image->data() + offset, &v, 4); }

// Offset of a field of record `index` in an archive with a plain directory.
size_t Field(const Bytes& image, size_t index, size_t field) {
  return GetU32(image, 8) + index * sizeof(ArchiveEntry) + field;
}
constexpr size_t kUnpackedSize = 272;
constexpr size_t kStoredSize = 276;

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& l : lines) all += l + "\n";
  return all;
}

TEST(PackedArchiveReader, EveryFormReadsBackEntryByEntry) {
  for (DirectoryForm form : {DirectoryForm::kPlain, DirectoryForm::kScrambled,
                             DirectoryForm::kCompressed, DirectoryForm::kCompressedScrambled}) {
    for (bool scramble : {false, true}) {
      const Bytes image = Archive(form, scramble);
      EXPECT_EQ("", Joined(VerifyArchive(ArchiveImage(image))));
      ArchiveListing listing;
      std::string error;
      ASSERT_TRUE(ReadArchiveListing(ArchiveImage(image), &listing, &error)) << error;
      ASSERT_EQ(3u, listing.entries.size());
      EXPECT_EQ("データ.bin", EntryDisplayName(listing.entries[2]));
      EXPECT_EQ(16u, listing.dataOffsets[0]);
      EXPECT_EQ(16u + PaddedSize(listing.entries[0].storedSize), listing.dataOffsets[1]);
      const std::string expected[3] = {kText, "0123456789", kText + kText};
      for (size_t i = 0; i < 3; ++i) {
        Bytes content;
        ASSERT_TRUE(ReadArchiveContent(ArchiveImage(image), listing, i, &content, &error)) << error;
        EXPECT_EQ(expected[i], std::string(content.begin(), content.end()));
      }
    }
  }
}

// A compressed directory whose records outgrow the decoder's window is
// read in pieces and comes back whole.
TEST(PackedArchiveReader, ADirectoryLargerThanTheDecodingWindowReadsBack) {
  std::vector<ArchiveItem> items;
  for (int i = 0; i < 4000; ++i) {
    items.push_back(Item("entry" + std::to_string(i) + ".dat", std::to_string(i), false, true));
  }
  ASSERT_GT(items.size() * sizeof(ArchiveEntry), kContentWindowSize);
  ArchiveOptions options;
  options.directory = DirectoryForm::kCompressedScrambled;
  options.compress = Compress;
  Bytes image;
  std::string error;
  ASSERT_TRUE(BuildArchive(items, options, &image, &error)) << error;
  EXPECT_EQ("", Joined(VerifyArchive(ArchiveImage(image))));
  ArchiveListing listing;
  ASSERT_TRUE(ReadArchiveListing(ArchiveImage(image), &listing, &error)) << error;
  ASSERT_EQ(items.size(), listing.entries.size());
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(items[i].name, EntryDisplayName(listing.entries[i]));
  }
  for (size_t i = 0; i < items.size(); i += 999) {
    Bytes content;
    ASSERT_TRUE(ReadArchiveContent(ArchiveImage(image), listing, i, &content, &error)) << error;
    EXPECT_EQ(std::to_string(i), std::string(content.begin(), content.end()));
  }
}

struct Damage {
  const char* name;
  std::function<void(Bytes*)> apply;
  std::vector<std::string> expected;  // parts of one reported line
};
void PrintTo(const Damage& d, std::ostream* os) { *os << d.name; }

class PackedArchiveDamage : public ::testing::TestWithParam<Damage> {};

TEST_P(PackedArchiveDamage, IsFoundAndPlaced) {
  Bytes image = Archive();
  GetParam().apply(&image);
  const std::vector<std::string> problems = VerifyArchive(ArchiveImage(image));
  bool found = false;
  for (const std::string& line : problems) {
    bool all = true;
    for (const std::string& part : GetParam().expected)
      all = all && line.find(part) != std::string::npos;
    found = found || all;
  }
  EXPECT_TRUE(found) << Joined(problems);
}

const Damage kDamages[] = {
    {"TooShort", [](Bytes* a) { a->resize(10); }, {"header:", "too short"}},
    {"BadMagic", [](Bytes* a) { (*a)[2] = '3'; }, {"header:", "magic is 56 51 33 00"}},
    {"DirectoryBeyondTheEnd",
     [](Bytes* a) { PutU32(a, 8, uint32_t(a->size() + 1)); },
     {"header:", "directory offset", "outside"}},
    {"DirectoryInsideTheHeader", [](Bytes* a) { PutU32(a, 8, 8); }, {"header:", "outside"}},
    {"MoreEntriesThanTheDirectoryHolds",
     [](Bytes* a) { PutU32(a, 12, 4); },
     {"directory:", "4 entries need 1120 bytes"}},
    {"EntryBeyondTheDataArea",
     [](Bytes* a) {
       PutU32(a, Field(*a, 2, kStoredSize), GetU32(*a, Field(*a, 2, kStoredSize)) + 64);
     },
     {"entry 2 \"データ.bin\"", "run past the data area"}},
    {"StoredSizeWrapsAround",
     [](Bytes* a) { PutU32(a, Field(*a, 1, kStoredSize), 0xFFFFFFF8u); },
     {"entry 1 \"plain.dat\"", "wraps around"}},
    {"TruncatedStream",
     [](Bytes* a) {
       PutU32(a, Field(*a, 0, kStoredSize), GetU32(*a, Field(*a, 0, kStoredSize)) - 3);
     },
     {"entry 0 \"UPDATE.INI\"", "damaged"}},
    {"UnpackedSizeTooLarge",
     [](Bytes* a) {
       PutU32(a, Field(*a, 0, kUnpackedSize), GetU32(*a, Field(*a, 0, kUnpackedSize)) + 1);
     },
     {"entry 0 \"UPDATE.INI\"", "ends after", "not the recorded"}},
    {"UnpackedSizeTooSmall",
     [](Bytes* a) {
       PutU32(a, Field(*a, 2, kUnpackedSize), GetU32(*a, Field(*a, 2, kUnpackedSize)) - 1);
     },
     {"entry 2", "damaged"}},
    {"UnpackedSizeBeyondAnyStream",
     [](Bytes* a) { PutU32(a, Field(*a, 0, kUnpackedSize), 0xFFFFFFFFu); },
     {"entry 0", "cannot come from a stream"}},
    {"PlainEntryLongerThanStored",
     [](Bytes* a) { PutU32(a, Field(*a, 1, kUnpackedSize), 11); },
     {"entry 1 \"plain.dat\"", "exceeds its 10 stored bytes"}},
    {"NameWithoutEnd",
     [](Bytes* a) { std::memset(a->data() + Field(*a, 1, 0), 'n', 260); },
     {"entry 1", "no terminating NUL"}},
    {"NameWithAFolder",
     [](Bytes* a) { std::memcpy(a->data() + Field(*a, 1, 0), "..\\x.dat", 9); },
     {"entry 1 \"..\\x.dat\"", "not a plain file name"}},
    {"NamesEqualIgnoringCase",
     [](Bytes* a) { std::memcpy(a->data() + Field(*a, 1, 0), "update.ini", 11); },
     {"entry 1 \"update.ini\"", "has the name of entry 0 \"UPDATE.INI\""}},
    {"FullWidthNamesEqualIgnoringCase",
     [](Bytes* a) {
       const std::string lower = Sjis("ａｂｃ"), upper = Sjis("ＡＢＣ");
       std::memcpy(a->data() + Field(*a, 0, 0), lower.c_str(), lower.size() + 1);
       std::memcpy(a->data() + Field(*a, 2, 0), upper.c_str(), upper.size() + 1);
     },
     {"entry 2 \"ＡＢＣ\"", "has the name of entry 0 \"ａｂｃ\""}},
    {"CompressedDirectoryShorterThanItsCount",
     [](Bytes* a) {
       *a = Archive(DirectoryForm::kCompressedScrambled);
       PutU32(a, 12, 4);
     },
     {"directory: 4 entries at offset", "ends after 840 bytes, not the recorded 1120"}},
    {"DamagedCompressedDirectory",
     [](Bytes* a) {
       *a = Archive(DirectoryForm::kCompressedScrambled);
       a->resize(a->size() - 4);
     },
     {"directory:", "damaged"}},
};

INSTANTIATE_TEST_SUITE_P(Cases, PackedArchiveDamage, ::testing::ValuesIn(kDamages),
                         [](const ::testing::TestParamInfo<Damage>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
