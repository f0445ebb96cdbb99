// The compressed stream's token grammar and its limits, named once for the
// decoder, the directory readers and the packer's token writer and costs.
//
// A stream mixes 32-bit control words (little-endian, bits taken from the
// most significant end) with whole data bytes. A control word is read where
// the decoder stands when it wants a bit and the current word is used up:
//
//   | word 0 | B B B ... | word 1 | B B ... | word 2 | ...
//     32 bits  data bytes read while word 0's bits are taken
//
// Tokens, their reads in order (0 and 1 control bits, B a data byte, x..x
// extra control bits, most significant first; v is the distance less one):
//
//   literal            1  B                      append B
//   short match        0 1 0  B                  length 2, v = B           (0..255)
//   wide short match   0 1 1  B  xxx             length 2, v = 256+8B+x    (256..2302)
//   end marker         0 1 1  FF 111             the v = 2303 of a wide short match
//   long match         0 0  <distance code>  <length code>
//
//   distance code            v                   length code         length
//   1       B x              2B+x      0..511    1                   3
//   0 1     B x              512+2B+x  ..1023    0 1                 4
//   0 0 1   B xx             1024+4B+x ..2047    0 0 1 x             5+x   5..6
//   0 0 0 1 B xxx            2048+8B+x ..4095    0 0 0 1 xx          7+x   7..10
//   0 0 0 0 B xxxx           4096+16B+x ..8191   0 0 0 0 1 xxxx      11+x  11..26
//                                                0 0 0 0 0 B         27+B  27..282
//
// A match copies from `distance` bytes back in the output, byte by byte
// forward, so a distance below the length repeats a pattern.
#pragma once

#include <cstdint>

// A code of a long match, by the number of zero bits before its one bit:
// `selectorBits` control bits (the zeros and the one; the last code has no
// one), then the extra bits, added to `base`.
struct TokenCode {
  unsigned selectorBits;
  unsigned extraBits;
  unsigned base;
};

constexpr unsigned kDistanceCodeCount = 5;
// The data byte comes between the selector and the extra bits: v = base +
// (B << extraBits) + x.
constexpr TokenCode kDistanceCodes[kDistanceCodeCount] = {
    {1, 1, 0}, {2, 1, 512}, {3, 2, 1024}, {4, 3, 2048}, {4, 4, 4096}};
// One past the largest distance of a code: v runs to base + (256 << extraBits) - 1.
constexpr uint32_t DistanceCodeEnd(const TokenCode& code) {
  return code.base + (256u << code.extraBits);
}

constexpr unsigned kLengthCodeCount = 6;
// The last code (five zeros) takes a data byte instead of extra bits.
constexpr TokenCode kLengthCodes[kLengthCodeCount] = {{1, 0, 3}, {2, 0, 4},  {3, 1, 5},
                                                      {4, 2, 7}, {5, 4, 11}, {5, 0, 27}};
constexpr unsigned kLengthByteCode = kLengthCodeCount - 1;

// A short match's distance: narrow up to 256 (v one byte), wide above it,
// v = kNarrowShortValues + (B << kWideShortExtraBits) + x.
constexpr uint32_t kNarrowShortValues = 256;
constexpr unsigned kWideShortExtraBits = 3;
// The wide short match with B = 0xFF and x = 111 ends the stream.
constexpr uint32_t kEndMarkerValue = 2303;

constexpr uint32_t kMaxNarrowShortDistance = kNarrowShortValues;
constexpr uint32_t kMaxShortDistance = kEndMarkerValue;  // 2304 would spell the end marker
constexpr uint32_t kMaxLongDistance = DistanceCodeEnd(kDistanceCodes[kDistanceCodeCount - 1]);
constexpr uint32_t kShortMatchLength = 2;
constexpr uint32_t kMinLongLength = kLengthCodes[0].base;
constexpr uint32_t kMaxLongLength = kLengthCodes[kLengthByteCode].base + 255;

static_assert(kMaxLongDistance == 8192, "the long window is 8192 bytes");
static_assert(kMaxLongLength == 282, "the longest match is 282 bytes");
static_assert(kEndMarkerValue == kNarrowShortValues + (0xFFu << kWideShortExtraBits) + 7,
              "the end marker is the wide short match FF 111");

// No token yields more than 282 bytes for 9 control bits and 2 data bytes,
// so a stream never expands by more than about 91 times. A recorded size
// beyond this bound cannot come from its stream (and is not worth a block
// to try).
constexpr uint64_t MaxExpansion(uint64_t streamSize) { return streamSize * 96 + 512; }
