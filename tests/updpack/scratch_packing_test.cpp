// Entries too long to hold in memory are packed through scratch files: the
// archive comes out byte for byte as when every entry is held, wherever it
// is written, and no scratch file is left behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "authoring/archive_reader.h"
#include "tools/updpack/pack_paths.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

class ScratchPacking : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/updpack-scratch-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    root_ = pattern;
    fs::create_directories(root_ + "/in");
    fs::create_directories(root_ + "/out");
    std::mt19937 rng(5);
    Bytes text, noise(50000), small(500);
    while (text.size() < 300000) {
      const std::string line = "line " + std::to_string(rng() % 500) + " of the game's text\n";
      text.insert(text.end(), line.begin(), line.end());
    }
    for (uint8_t& b : noise) b = uint8_t(rng());
    for (size_t i = 0; i < small.size(); ++i) small[i] = uint8_t(i % 7);
    WriteBytes(root_ + "/in/text.txt", text);    // compressed, through a scratch file
    WriteBytes(root_ + "/in/noise.bin", noise);  // stored as read, from the copy
    WriteBytes(root_ + "/in/small.dat", small);  // held in memory
    WriteBytes(root_ + "/in/empty.dat", {});
  }
  void TearDown() override { fs::remove_all(root_); }

  // The archive written to a file, with entries from `scratchFrom` bytes on
  // packed through scratch files (0: only past the default size). With
  // `apart`, written to a file of its own, as build-exe writes it into its
  // work folder, while the output (an executable) is another file.
  Bytes PackToFile(PackOptions options, uint64_t scratchFrom, const std::string& name,
                   bool apart = false) {
    options.scratchFrom = scratchFrom;
    const std::string archive = root_ + "/out/" + name;
    const std::string output = apart ? root_ + "/out/x.exe" : archive;
    std::string error;
    EXPECT_TRUE(PackPathsToFile({root_ + "/in"}, output, archive, options, &error)) << error;
    return ReadBytes(archive);
  }

  std::string root_;
};

TEST_F(ScratchPacking, SameArchiveAsWhenHeldInMemory) {
  struct Case {
    const char* name;
    bool store, noScramble;
  };
  for (const Case& c : {Case{"scrambled", false, false}, Case{"plain", false, true},
                        Case{"stored", true, false}}) {
    PackOptions options;
    options.store = c.store;
    options.noScramble = c.noScramble;
    const Bytes held = PackToFile(options, 0, std::string(c.name) + "-held.vq2");
    EXPECT_EQ(held, PackToFile(options, 1000, std::string(c.name) + "-scratch.vq2")) << c.name;
    EXPECT_EQ(held, PackToFile(options, 1000, std::string(c.name) + "-apart.vq2", true))
        << c.name;

    ArchiveListing listing;
    std::string error;
    ASSERT_TRUE(ReadArchiveListing(ArchiveImage(held), &listing, &error)) << error;
    ASSERT_EQ(4u, listing.entries.size());
    for (size_t i = 0; i < listing.entries.size(); ++i) {
      const std::string name = EntryDisplayName(listing.entries[i]);
      Bytes content;
      ASSERT_TRUE(ReadArchiveContent(ArchiveImage(held), listing, i, &content, &error))
          << error;
      EXPECT_EQ(ReadBytes(root_ + "/in/" + name), content) << name;
      // The text and the small file are packed compressed, the noise and
      // the empty file stored, unless all are.
      const bool compressed = (listing.entries[i].flags & kEntryCompressed) != 0;
      EXPECT_EQ(!c.store && (name == "text.txt" || name == "small.dat"), compressed)
          << c.name << " " << name;
    }
  }
}

// The scratch files have no name (or lose it at once): the output's folder
// holds the outputs alone afterwards.
TEST_F(ScratchPacking, LeavesNoScratchFileBehind) {
  PackToFile(PackOptions(), 1000, "a.vq2");
  std::vector<std::string> names;
  for (const auto& item : fs::directory_iterator(root_ + "/out")) {
    names.push_back(item.path().filename().string());
  }
  EXPECT_EQ(std::vector<std::string>{"a.vq2"}, names);
}

}  // namespace
