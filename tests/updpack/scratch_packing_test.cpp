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
#include "tests/updpack/updpack_fixture.h"
#include "tools/updpack/packing/pack_paths.h"

namespace {

void WriteBytes(const std::string& path, const Bytes& bytes) {
  WriteBytes(path, std::string(bytes.begin(), bytes.end()));
}

class ScratchPacking : public UpdpackTest {
 protected:
  void SetUp() override {
    UpdpackTest::SetUp();
    fs::create_directories(Path("in"));
    fs::create_directories(Path("out"));
    std::mt19937 rng(5);
    Bytes text, noise(50000), small(500);
    while (text.size() < 300000) {
      const std::string line = "line " + std::to_string(rng() % 500) + " of the game's text\n";
      text.insert(text.end(), line.begin(), line.end());
    }
    for (uint8_t& b : noise) b = uint8_t(rng());
    for (size_t i = 0; i < small.size(); ++i) small[i] = uint8_t(i % 7);
    WriteBytes(Path("in/text.txt"), text);    // compressed, through a scratch file
    WriteBytes(Path("in/noise.bin"), noise);  // stored as read, from the copy
    WriteBytes(Path("in/small.dat"), small);  // held in memory
    WriteBytes(Path("in/empty.dat"), Bytes());
  }

  // The archive written to a file, with entries from `scratchFrom` bytes on
  // packed through scratch files (0: only past the default size). With
  // `apart`, written to a file of its own, as build-exe writes it into its
  // work folder, while the output (an executable) is another file.
  Bytes PackToFile(PackOptions options, uint64_t scratchFrom, const std::string& name,
                   bool apart = false) {
    options.scratchFrom = scratchFrom;
    const std::string archive = Path("out/") + name;
    const std::string output = apart ? Path("out/x.exe") : archive;
    std::string error;
    EXPECT_TRUE(PackPathsToFile({Path("in")}, output, archive, options, &error)) << error;
    return ReadBytes(archive);
  }
};

TEST_F(ScratchPacking, SameArchiveAsWhenHeldInMemory) {
  struct Case {
    const char* name;
    bool store, noScramble;
  };
  for (const Case& c :
       {Case{"scrambled", false, false}, Case{"plain", false, true}, Case{"stored", true, false}}) {
    PackOptions options;
    options.store = c.store;
    options.noScramble = c.noScramble;
    const Bytes held = PackToFile(options, 0, std::string(c.name) + "-held.vq2");
    EXPECT_EQ(held, PackToFile(options, 1000, std::string(c.name) + "-scratch.vq2")) << c.name;
    EXPECT_EQ(held, PackToFile(options, 1000, std::string(c.name) + "-apart.vq2", true)) << c.name;

    ArchiveListing listing;
    std::string error;
    ASSERT_TRUE(ReadArchiveListing(ArchiveImage(held), &listing, &error)) << error;
    ASSERT_EQ(4u, listing.entries.size());
    for (size_t i = 0; i < listing.entries.size(); ++i) {
      const std::string name = EntryDisplayName(listing.entries[i]);
      Bytes content;
      ASSERT_TRUE(ReadArchiveContent(ArchiveImage(held), listing, i, &content, &error)) << error;
      EXPECT_EQ(ReadBytes(Path("in/") + name), content) << name;
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
  for (const auto& item : fs::directory_iterator(Path("out"))) {
    names.push_back(item.path().filename().string());
  }
  EXPECT_EQ(std::vector<std::string>{"a.vq2"}, names);
}

}  // namespace
