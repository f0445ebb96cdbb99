// Archives read from their file a piece at a time: entries larger than the
// reading's working block come out byte for byte, and a file that becomes
// shorter while it is read gives a clear error for each entry it cuts, and
// no half-written file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "archive/content_stream.h"
#include "authoring/archive_reader.h"
#include "authoring/archive_writer.h"
#include "authoring/compressor.h"
#include "tests/updpack/updpack_fixture.h"
#include "tools/updpack/files/archive_input.h"
#include "tools/updpack/files/entry_file.h"

namespace {

Bytes Compress(const uint8_t* data, size_t size) { return CompressStream(data, size); }

ArchiveItem Item(const std::string& name, const std::string& content, bool compress) {
  ArchiveItem item;
  item.name = name;
  item.data.assign(content.begin(), content.end());
  item.compress = compress;
  item.scramble = true;
  return item;
}

class ArchiveFileReading : public UpdpackTest {
 protected:
  void SetUp() override {
    UpdpackTest::SetUp();
    std::mt19937 rng(11);
    std::string text, noise(700000, '\0');
    while (text.size() < 2500000) {
      text += "line " + std::to_string(rng() % 100000) + " of the journey\r\n";
    }
    for (char& c : noise) c = char(rng());
    contents_ = {"the first entry", text, noise, "the last entry"};
    ArchiveOptions options;
    options.directory = DirectoryForm::kCompressedScrambled;
    options.compress = Compress;
    Bytes image;
    std::string error;
    // A small entry, one compressed and one stored plain that each span
    // many pieces of stored bytes and of output, and a small one again.
    ASSERT_TRUE(
        BuildArchive({Item("first.txt", contents_[0], true), Item("big.txt", contents_[1], true),
                      Item("noise.bin", contents_[2], false), Item("last.txt", contents_[3], true)},
                     options, &image, &error))
        << error;
    std::ofstream(Path("update.vq2"), std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
  }
  // Writes entry `index` to a file named after it in "out" as extract does.
  bool Extract(const ArchiveFile& archive, const ArchiveListing& listing, size_t index,
               std::string* error) {
    fs::create_directories(Path("out"));
    EntryFile file(Path("out/" + EntryDisplayName(listing.entries[index])));
    std::vector<uint8_t> work(kContentWorkSize);
    return ReadArchiveContent(archive, listing, index, work.data(), file, error) &&
           file.Commit(listing.entries[index].fileTime, error);
  }

  std::vector<std::string> contents_;
};

TEST_F(ArchiveFileReading, EntriesLargerThanTheWorkingBlockComeOutByteForByte) {
  ArchiveFile archive;
  ArchiveListing listing;
  std::string error;
  ASSERT_TRUE(archive.Open(Path("update.vq2"), &error)) << error;
  ASSERT_TRUE(ReadArchiveListing(archive, &listing, &error)) << error;
  ASSERT_EQ(4u, listing.entries.size());
  EXPECT_EQ(kEntryCompressed, listing.entries[1].flags);
  EXPECT_GT(listing.entries[1].storedSize, kStoredPieceSize);
  EXPECT_GT(listing.entries[1].unpackedSize, kContentWorkSize);
  EXPECT_GT(listing.entries[2].storedSize, kStoredPieceSize);
  EXPECT_TRUE(VerifyArchive(archive).empty());
  for (size_t i = 0; i < listing.entries.size(); ++i) {
    ASSERT_TRUE(Extract(archive, listing, i, &error)) << error;
    EXPECT_EQ(contents_[i], ReadText(Path("out/" + EntryDisplayName(listing.entries[i])))) << i;
  }
}

// The file is cut inside an entry's stored bytes after its directory was
// read, as when it is replaced or shortened while updpack reads it.
struct Cut {
  const char* where;
  size_t entry;
  uint64_t into;  // bytes of the entry's stored bytes that stay
};
void PrintTo(const Cut& c, std::ostream* os) { *os << c.where; }

class ShortenedArchiveFile : public ArchiveFileReading,
                             public ::testing::WithParamInterface<Cut> {};

TEST_P(ShortenedArchiveFile, FailsCleanlyFromTheCutOn) {
  const Cut& cut = GetParam();
  ArchiveFile archive;
  ArchiveListing listing;
  std::string error;
  ASSERT_TRUE(archive.Open(Path("update.vq2"), &error)) << error;
  ASSERT_TRUE(ReadArchiveListing(archive, &listing, &error)) << error;
  ASSERT_LT(cut.into, listing.entries[cut.entry].storedSize);
  const uint64_t at = listing.dataOffsets[cut.entry] + cut.into;
  ASSERT_EQ(0, truncate(Path("update.vq2").c_str(), off_t(at)));

  // The entries before the cut still read; every one from the cut on
  // fails, the cut one where the file ends.
  const std::string cannotRead = "cannot read \"" + Path("update.vq2") + "\": it ends before byte ";
  for (size_t i = 0; i < listing.entries.size(); ++i) {
    Bytes content;
    const bool read = ReadArchiveContent(archive, listing, i, &content, &error);
    EXPECT_EQ(i < cut.entry, read) << i;
    if (i < cut.entry) {
      EXPECT_EQ(contents_[i], std::string(content.begin(), content.end())) << i;
    } else {
      EXPECT_EQ(0u, error.find(cannotRead)) << error;
    }
  }

  ASSERT_TRUE(Extract(archive, listing, 0, &error)) << error;
  ASSERT_FALSE(Extract(archive, listing, cut.entry, &error));
  EXPECT_NE(std::string::npos, error.find(cannotRead + std::to_string(at) + ",")) << error;
  // Nothing of the cut entry is left, not even a temporary file.
  std::vector<std::string> names;
  for (const auto& item : fs::directory_iterator(Path("out"))) {
    names.push_back(item.path().filename().string());
  }
  EXPECT_EQ(std::vector<std::string>{"first.txt"}, names);
}

INSTANTIATE_TEST_SUITE_P(Cuts, ShortenedArchiveFile,
                         ::testing::Values(Cut{"CompressedAndScrambled", 1, 400000},
                                           Cut{"StoredPlain", 2, 300000}),
                         [](const ::testing::TestParamInfo<Cut>& info) {
                           return std::string(info.param.where);
                         });

}  // namespace
