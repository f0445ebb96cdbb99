// What the packer writes, the updater reads: archives built the way
// updpack create builds them open with OpenArchive, and ReadEntry and
// ExtractEntry give back every entry's content.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "archive/archive_directory.h"
#include "archive/extract_entry.h"
#include "authoring/archive_writer.h"
#include "authoring/compressor.h"
#include "core/platform.h"
#include "core/updater_state.h"
#include "tests/support/test_platform.h"

namespace {

std::vector<uint8_t> Compress(const uint8_t* data, size_t size) {
  return CompressStream(data, size);
}

struct Content {
  std::string name;  // UTF-8
  std::string bytes;
};

std::vector<Content> Contents() {
  std::mt19937 rng(3);
  std::string noise(70000, '\0');
  for (char& c : noise) c = char(rng());
  std::string text;
  while (text.size() < 300000)
    text += "[UPDATE]\r\nUpdateFile" + std::to_string(text.size() % 16) + "=data\\スター.dat\r\n";
  return {{"UPDATE.INI", "[SETUP]\r\nCompanyName=Star\r\n"},
          {"説明書.txt", text},
          {"zeros.bin", std::string(1 << 20, '\0')},
          {"noise.ogg", noise},
          {"empty.dat", ""}};
}

// Compressed where that is smaller, as create does.
ArchiveItem Packed(const Content& c, bool scramble) {
  ArchiveItem item;
  item.name = Sjis(c.name);
  item.data.assign(c.bytes.begin(), c.bytes.end());
  item.scramble = scramble;
  item.fileTime = win::ToFileTime(0x01D9000011112222ull);
  std::vector<uint8_t> packed = CompressStream(item.data.data(), item.data.size());
  if (packed.size() < item.data.size()) {
    item.precompressed = true;
    item.unpackedSize = uint32_t(item.data.size());
    item.data = std::move(packed);
  }
  return item;
}

class PackedArchiveInTheUpdater : public UpdaterTest,
                                  public ::testing::WithParamInterface<DirectoryForm> {};

TEST_P(PackedArchiveInTheUpdater, EveryEntryReadsBack) {
  ResolveTables();
  for (bool scramble : {true, false}) {
    std::vector<ArchiveItem> items;
    for (const Content& c : Contents()) items.push_back(Packed(c, scramble));
    ArchiveOptions options;
    options.directory = GetParam();
    options.compress = Compress;
    std::vector<uint8_t> image;
    std::string error;
    ASSERT_TRUE(BuildArchive(items, options, &image, &error)) << error;
    ASSERT_TRUE(UseArchive(image));

    for (const Content& c : Contents()) {
      uint32_t size = 0;
      bool owned = false;
      uint8_t* bytes = ReadEntry(Sjis(c.name).c_str(), &size, &owned);
      ASSERT_NE(nullptr, bytes) << c.name;
      EXPECT_EQ(c.bytes, std::string(reinterpret_cast<char*>(bytes), size)) << c.name;
      if (owned) platform.GlobalFree(bytes);

      const std::string target = "C:\\" + Sjis(c.name);
      ASSERT_EQ(1, ExtractEntry(Sjis(c.name).c_str(), target.c_str(), 0)) << c.name;
      EXPECT_EQ(c.bytes, ReadHostFile(DriveC() + "/" + c.name)) << c.name;
    }
    EXPECT_TRUE(messages.empty());
    CloseArchive(updaterState.archiveDirectory);
    updaterState.archiveDirectory = nullptr;
  }
}

INSTANTIATE_TEST_SUITE_P(Forms, PackedArchiveInTheUpdater,
                         ::testing::Values(DirectoryForm::kPlain, DirectoryForm::kScrambled,
                                           DirectoryForm::kCompressed,
                                           DirectoryForm::kCompressedScrambled));

}  // namespace
