#include "archive/unscramble.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

uint32_t Word(const std::vector<uint8_t>& b, size_t i) {
  return uint32_t(b[4 * i]) | uint32_t(b[4 * i + 1]) << 8 | uint32_t(b[4 * i + 2]) << 16 |
         uint32_t(b[4 * i + 3]) << 24;
}

uint32_t Rotr(uint32_t v, unsigned n) { return n ? (v >> n) | (v << (32 - n)) : v; }
uint32_t Rotl(uint32_t v, unsigned n) { return n ? (v << n) | (v >> (32 - n)) : v; }

TEST(Unscramble, ShortBuffersAreLeftAlone) {
  for (uint32_t length = 0; length < 4; ++length) {
    std::vector<uint8_t> buffer = {1, 2, 3};
    Unscramble(buffer.data(), length);
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3}), buffer) << length;
  }
}

// A zero buffer turns into the key stream itself, which the examples fix.
struct KeyStreamCase {
  uint32_t length;
  unsigned rotation;  // per word
};

class UnscrambleKeyStream : public ::testing::TestWithParam<KeyStreamCase> {};

TEST_P(UnscrambleKeyStream, ZeroBufferShowsTheKeyStream) {
  const KeyStreamCase c = GetParam();
  std::vector<uint8_t> buffer(c.length + 3, 0);
  Unscramble(buffer.data(), c.length);
  uint32_t key = Rotr(c.length ^ 0x6B2D41C9u, c.length % 32);
  for (uint32_t i = 0; i < c.length / 4; ++i) {
    ASSERT_EQ(key, Word(buffer, i)) << "word " << i;
    key = Rotl(key, c.rotation);
  }
  for (uint32_t i = c.length / 4 * 4; i < buffer.size(); ++i) EXPECT_EQ(0, buffer[i]) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, UnscrambleKeyStream,
    ::testing::Values(KeyStreamCase{1400, 19},   // 6 bits set: the 5-entry directory
                      KeyStreamCase{4, 5},       // one bit set
                      KeyStreamCase{7, 11},      // 3 bits: one word and 3 bytes left
                      KeyStreamCase{0xFF, 3},    // 8 bits set
                      KeyStreamCase{0xFFFF, 3},  // 16 bits set
                      KeyStreamCase{143, 17}));  // 5 bits set, 3 bytes left

TEST(Unscramble, FirstKeyWordOfTheDirectoryExample) {
  std::vector<uint8_t> buffer(1400, 0);
  Unscramble(buffer.data(), 1400);
  EXPECT_EQ(Rotr(1400u ^ 0x6B2D41C9u, 24), Word(buffer, 0));
}

TEST(Unscramble, TwiceRestoresTheInput) {
  std::vector<uint8_t> original(1403);
  for (size_t i = 0; i < original.size(); ++i) original[i] = uint8_t(i * 7 + 3);
  for (uint32_t length : {4u, 5u, 280u, 1403u}) {
    std::vector<uint8_t> buffer = original;
    Unscramble(buffer.data(), length);
    EXPECT_NE(original, buffer) << length;
    Unscramble(buffer.data(), length);
    EXPECT_EQ(original, buffer) << length;
  }
}

// Given in pieces (as the packer writes entries too long to hold), the
// bytes come out as from one call over the whole.
TEST(Unscramble, InPiecesAsWhole) {
  std::vector<uint8_t> original(10003);
  for (size_t i = 0; i < original.size(); ++i) original[i] = uint8_t(i * 13 + 5);
  std::vector<uint8_t> whole = original;
  Unscramble(whole.data(), uint32_t(whole.size()));
  for (size_t piece : {size_t(4), size_t(1024), size_t(4096), size_t(10000)}) {
    std::vector<uint8_t> pieces = original;
    Unscrambler unscrambler(uint32_t(pieces.size()));
    for (size_t at = 0; at < pieces.size(); at += piece) {
      unscrambler.Apply(pieces.data() + at, std::min(piece, pieces.size() - at));
    }
    EXPECT_EQ(whole, pieces) << piece;
  }
}

}  // namespace
