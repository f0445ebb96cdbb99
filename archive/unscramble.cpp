#include "archive/unscramble.h"

#include <cstring>

namespace {
constexpr uint32_t kScrambleKey = 0x6B2D41C9u;
constexpr uint32_t kRotations[8] = {3, 5, 7, 11, 13, 17, 19, 23};

uint32_t RotateLeft(uint32_t v, uint32_t n) { n &= 31; return n ? (v << n) | (v >> (32 - n)) : v; }
uint32_t RotateRight(uint32_t v, uint32_t n) { n &= 31; return n ? (v >> n) | (v << (32 - n)) : v; }

uint32_t BitCount(uint32_t v) {
  uint32_t count = 0;
  for (; v != 0; v &= v - 1) ++count;
  return count;
}
}  // namespace

void Unscramble(uint8_t* buffer, uint32_t length) {
  if (length < 4) return;
  const uint32_t words = length / 4;
  const uint32_t rotation = kRotations[BitCount(length) % 8];
  uint32_t key = RotateRight(length ^ kScrambleKey, length % 32);
  for (uint32_t i = 0; i < words; ++i) {
    uint8_t* p = buffer + 4 * i;
    uint32_t word = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                    uint32_t(p[3]) << 24;
    word ^= key;
    p[0] = uint8_t(word);
    p[1] = uint8_t(word >> 8);
    p[2] = uint8_t(word >> 16);
    p[3] = uint8_t(word >> 24);
    key = RotateLeft(key, rotation);
  }
}
