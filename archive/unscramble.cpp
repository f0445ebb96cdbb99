#include "archive/unscramble.h"

#include <cstring>

namespace {
constexpr uint32_t kScrambleKey = 0x6B2D41C9u;
constexpr uint32_t kRotations[8] = {3, 5, 7, 11, 13, 17, 19, 23};

uint32_t RotateLeft(uint32_t v, uint32_t n) {
  n &= 31;
  return n ? (v << n) | (v >> (32 - n)) : v;
}
uint32_t RotateRight(uint32_t v, uint32_t n) {
  n &= 31;
  return n ? (v >> n) | (v << (32 - n)) : v;
}

uint32_t BitCount(uint32_t v) {
  uint32_t count = 0;
  for (; v != 0; v &= v - 1) ++count;
  return count;
}
}  // namespace

Unscrambler::Unscrambler(uint32_t length)
    : wordsLeft_(length / 4),
      rotation_(kRotations[BitCount(length) % 8]),
      key_(RotateRight(length ^ kScrambleKey, length % 32)) {}

void Unscrambler::Apply(uint8_t* piece, size_t size) {
  const size_t words = size / 4 < wordsLeft_ ? size / 4 : wordsLeft_;
  for (size_t i = 0; i < words; ++i) {
    uint8_t* p = piece + 4 * i;
    uint32_t word =
        uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    word ^= key_;
    p[0] = uint8_t(word);
    p[1] = uint8_t(word >> 8);
    p[2] = uint8_t(word >> 16);
    p[3] = uint8_t(word >> 24);
    key_ = RotateLeft(key_, rotation_);
  }
  wordsLeft_ -= uint32_t(words);
}

void Unscramble(uint8_t* buffer, uint32_t length) { Unscrambler(length).Apply(buffer, length); }
