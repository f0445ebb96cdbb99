// updpack run on an entry larger than the reading's working block, whose
// stored bytes and output span many pieces: it comes out byte for byte in
// every form; a damaged stream or an archive file cut short is reported
// with what and where, and extract writes no part of such an entry.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "archive/content_stream.h"
#include "tests/updpack/updpack_fixture.h"

namespace {

uint32_t GetU32(const Bytes& bytes, size_t at) {
  uint32_t value;
  std::memcpy(&value, bytes.data() + at, 4);
  return value;
}

void PutU32(Bytes* bytes, size_t at, uint32_t value) { std::memcpy(bytes->data() + at, &value, 4); }

void WriteAll(const std::string& path, const Bytes& bytes) {
  WriteBytes(path, std::string(bytes.begin(), bytes.end()));
}

constexpr size_t kUnpackedField = 272;
constexpr size_t kStoredField = 276;

class LargeEntry : public UpdpackTest {
 protected:
  // "small.txt", entry 0, and "zbig.txt", entry 1: text that compresses
  // to many pieces of stored bytes.
  void MakeInput() {
    std::mt19937 rng(21);
    big_.clear();
    while (big_.size() < kBigSize) {
      big_ += "line " + std::to_string(rng() % 100000) + " of the journey\r\n";
    }
    big_.resize(kBigSize);
    WriteBytes(Path("in/small.txt"), "a small entry");
    WriteBytes(Path("in/zbig.txt"), big_);
  }

  // Where a field of record `index` lies in an archive with a plain
  // directory.
  static size_t Field(const Bytes& archive, size_t index, size_t field) {
    return GetU32(archive, 8) + index * 280 + field;
  }

  static constexpr size_t kBigSize = 3000000;
  std::string big_;
};

struct Form {
  const char* name;
  std::vector<std::string> options;
  uint8_t flags;
  uint8_t scrambled;
};
void PrintTo(const Form& f, std::ostream* os) { *os << f.name; }

class LargeEntryForms : public LargeEntry, public ::testing::WithParamInterface<Form> {};

TEST_P(LargeEntryForms, IsVerifiedAndExtractedByteForByte) {
  MakeInput();
  std::vector<std::string> create = {"create", "-o", "update.vq2"};
  create.insert(create.end(), GetParam().options.begin(), GetParam().options.end());
  create.push_back("in");
  ASSERT_EQ(0, Updpack(create).status);
  const ArchiveListing listing = List("update.vq2");
  ASSERT_EQ(2u, listing.entries.size());
  const ArchiveEntry& big = listing.entries[1];
  EXPECT_EQ(GetParam().flags, big.flags);
  EXPECT_EQ(GetParam().scrambled, big.scrambled);
  EXPECT_GT(big.storedSize, kStoredPieceSize);
  EXPECT_GT(big.unpackedSize, kContentWorkSize);

  const Result verified = Updpack({"verify", "update.vq2"});
  EXPECT_EQ(0, verified.status) << verified.err;
  EXPECT_EQ("update.vq2: sound\n", verified.out);
  const Result extracted = Updpack({"extract", "update.vq2", "-C", "out"});
  ASSERT_EQ(0, extracted.status) << extracted.err;
  EXPECT_TRUE(ReadText(Path("out/zbig.txt")) == big_);
  EXPECT_EQ("a small entry", ReadText(Path("out/small.txt")));
}

INSTANTIATE_TEST_SUITE_P(
    Forms, LargeEntryForms,
    ::testing::Values(Form{"CompressedAndScrambled", {}, kEntryCompressed, 1},
                      Form{"Compressed", {"--no-scramble"}, kEntryCompressed, 0},
                      Form{"StoredAndScrambled", {"--store"}, 0, 1}),
    [](const ::testing::TestParamInfo<Form>& info) { return std::string(info.param.name); });

// Damage to the large entry's record (plain directory, nothing scrambled):
// its stream breaks off, or gives another size than recorded.
struct StreamDamage {
  const char* name;
  size_t field;
  int64_t change;  // added to the field; 0 halves it
  std::string expected;
};
void PrintTo(const StreamDamage& d, std::ostream* os) { *os << d.name; }

class DamagedLargeEntry : public LargeEntry, public ::testing::WithParamInterface<StreamDamage> {};

TEST_P(DamagedLargeEntry, IsReportedAndNoPartOfItIsWritten) {
  MakeInput();
  ASSERT_EQ(0,
            Updpack({"create", "-o", "update.vq2", "--no-scramble", "--directory", "plain", "in"})
                .status);
  Bytes archive = ReadBytes(Path("update.vq2"));
  const StreamDamage& d = GetParam();
  const size_t at = Field(archive, 1, d.field);
  const uint32_t value = GetU32(archive, at);
  PutU32(&archive, at, d.change == 0 ? value / 2 : uint32_t(int64_t(value) + d.change));
  WriteAll(Path("update.vq2"), archive);
  const std::string line = "updpack: \"update.vq2\": entry 1 \"zbig.txt\": " + d.expected;

  const Result verified = Updpack({"verify", "update.vq2"});
  EXPECT_EQ(1, verified.status);
  EXPECT_NE(std::string::npos, verified.err.find(line)) << verified.err;

  // What the folder held before is left as it was; the sound entry is
  // written, nothing else.
  WriteBytes(Path("out/zbig.txt"), "from before");
  const Result extracted = Updpack({"extract", "update.vq2", "-C", "out"});
  EXPECT_EQ(1, extracted.status);
  EXPECT_NE(std::string::npos, extracted.err.find(line)) << extracted.err;
  EXPECT_EQ("from before", ReadText(Path("out/zbig.txt")));
  EXPECT_EQ("a small entry", ReadText(Path("out/small.txt")));
  EXPECT_EQ((std::vector<std::string>{"small.txt", "zbig.txt"}), Names("out"));
}

INSTANTIATE_TEST_SUITE_P(
    Damage, DamagedLargeEntry,
    ::testing::Values(
        StreamDamage{"StreamCutInHalf", kStoredField, 0,
                     "the compressed stream is damaged: it breaks off after "},
        StreamDamage{"OneByteMoreRecorded", kUnpackedField, 1,
                     "the compressed stream ends after 3000000 bytes, not the recorded 3000001"},
        StreamDamage{"OneByteLessRecorded", kUnpackedField, -1,
                     "the compressed stream is damaged: it breaks off after "}),
    [](const ::testing::TestParamInfo<StreamDamage>& info) {
      return std::string(info.param.name);
    });

// The archive file cut inside the large entry's stored bytes: shorter than
// its header says (the directory cut off), or than its directory says (the
// directory moved up behind the cut and the header told).
struct Shortening {
  const char* name;
  bool keepDirectory;
  int listStatus;                    // list reads the directory alone
  std::vector<std::string> written;  // by extract
};
void PrintTo(const Shortening& s, std::ostream* os) { *os << s.name; }

class ShortenedArchive : public LargeEntry, public ::testing::WithParamInterface<Shortening> {};

TEST_P(ShortenedArchive, IsReportedAndOnlySoundEntriesAreWritten) {
  MakeInput();
  ASSERT_EQ(0, Updpack({"create", "-o", "update.vq2", "--directory", "plain", "in"}).status);
  const Bytes whole = ReadBytes(Path("update.vq2"));
  const ArchiveListing listing = List("update.vq2");
  const uint32_t directory = GetU32(whole, 8);
  const uint64_t offset = listing.dataOffsets[1];
  const uint32_t stored = listing.entries[1].storedSize;
  const uint32_t cut = uint32_t(offset + stored / 2);
  Bytes shortened(whole.begin(), whole.begin() + cut);
  if (GetParam().keepDirectory) {
    shortened.insert(shortened.end(), whole.begin() + directory, whole.end());
    PutU32(&shortened, 8, cut);
  }
  WriteAll(Path("update.vq2"), shortened);
  const std::string said =
      "updpack: \"update.vq2\": " +
      (GetParam().keepDirectory
           ? "entry 1 \"zbig.txt\": its " + std::to_string(stored) + " stored bytes at offset " +
                 std::to_string(offset) + " run past the data area, which ends at " +
                 std::to_string(cut)
           : "header: the directory offset " + std::to_string(directory) +
                 " lies outside the archive (16 to " + std::to_string(cut) + ")");

  const Result verified = Updpack({"verify", "update.vq2"});
  EXPECT_EQ(1, verified.status);
  EXPECT_NE(std::string::npos, verified.err.find(said)) << verified.err;
  EXPECT_EQ(GetParam().listStatus, Updpack({"list", "update.vq2"}).status);
  const Result extracted = Updpack({"extract", "update.vq2", "-C", "out"});
  EXPECT_EQ(1, extracted.status);
  EXPECT_NE(std::string::npos, extracted.err.find(said)) << extracted.err;
  if (GetParam().written.empty()) {
    EXPECT_FALSE(fs::exists(Path("out")));
  } else {
    EXPECT_EQ(GetParam().written, Names("out"));
    EXPECT_EQ("a small entry", ReadText(Path("out/small.txt")));
  }
}

INSTANTIATE_TEST_SUITE_P(Cuts, ShortenedArchive,
                         ::testing::Values(Shortening{"DirectoryCutOff", false, 1, {}},
                                           Shortening{"EntryCutShort", true, 0, {"small.txt"}}),
                         [](const ::testing::TestParamInfo<Shortening>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
