// Writes tokens into one compressed stream: control bits go into 32-bit
// little-endian words, most significant bit first, and each word takes its
// place in the stream at the point where its first bit is needed, between
// the data bytes written so far and the ones that follow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TokenWriter {
 public:
  void Literal(uint8_t value);
  // Length 2, distance 1..2303.
  void ShortMatch(uint32_t distance);
  // Length 3..282, distance 1..8192.
  void LongMatch(uint32_t distance, uint32_t length);
  // Room for a stream of `bytes` bytes ahead of its writing.
  void Reserve(size_t bytes) { out_.reserve(bytes); }
  // Writes the end marker and hands back the finished stream.
  std::vector<uint8_t> Finish();

 private:
  void Bit(uint32_t bit);
  void Bits(uint32_t value, int count);
  void Byte(uint32_t value);
  void StoreWord();

  std::vector<uint8_t> out_;
  size_t wordAt_ = 0;
  uint32_t word_ = 0;
  int bitsUsed_ = 32;  // no word started yet
};
