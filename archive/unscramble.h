#pragma once

#include <cstddef>
#include <cstdint>

// The archive's scrambling transform, applied in place. It is its own
// inverse: the same call scrambles and unscrambles. The key stream depends on
// the length alone; buffers shorter than 4 bytes and the last length % 4
// bytes are left unchanged.
void Unscramble(uint8_t* buffer, uint32_t length);

// The same transform over a buffer of `length` bytes given in consecutive
// pieces, each but the last a multiple of 4 bytes long: for bytes too many
// to hold at once.
class Unscrambler {
 public:
  explicit Unscrambler(uint32_t length);
  void Apply(uint8_t* piece, size_t size);

 private:
  uint32_t wordsLeft_;
  uint32_t rotation_;
  uint32_t key_;
};
