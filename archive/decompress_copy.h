#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "archive/decode_limits.h"

// Match and literal copies of the decoder. Each gives exactly the bytes of a
// byte-by-byte forward copy; the exact ones write nothing past the copy, the
// others may overrun it.

namespace decompress_copy {

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

inline void Store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

// ---- Exact copies: nothing is written behind the copied bytes.

// The plain forward copy, byte by byte, for short stretches.
inline void CopyBytes(uint8_t* to, size_t distance, size_t n) {
  const uint8_t* from = to - distance;
  for (size_t i = 0; i < n; ++i) to[i] = from[i];
}

// Block copy for distance >= width and n >= width: chunk k reads bytes at
// least `width` positions back, all final before the chunk is written; the
// last chunk ends exactly at the match end and rewrites already-copied bytes
// with the same values, its sources lying before the first unwritten byte.
template <size_t kWidth>
inline void CopyChunks(uint8_t* to, size_t distance, size_t n) {
  const uint8_t* from = to - distance;
  size_t i = 0;
  for (; i + kWidth <= n; i += kWidth) std::memcpy(to + i, from + i, kWidth);
  if (i < n) std::memcpy(to + n - kWidth, from + n - kWidth, kWidth);
}

// Distances 1..3, n >= 8: the repeating pattern stored eight bytes at a time,
// advancing by a whole number of periods; the tail is copied byte by byte.
inline void FillPattern(uint8_t* to, size_t distance, size_t n) {
  if (distance == 1) {
    std::memset(to, to[-1], n);
    return;
  }
  size_t step;
  if (distance == 2) {
    step = 8;
    const uint64_t pair = uint64_t(to[-2]) | uint64_t(to[-1]) << 8;
    Store64(to, pair * 0x0001000100010001ull);
  } else {
    step = 6;
    CopyBytes(to, 3, 8);
  }
  const uint64_t pattern = Load64(to);
  size_t i = step;
  for (; i + 8 <= n; i += step) Store64(to + i, pattern);
  CopyBytes(to + i, distance, n - i);
}

// Appends `n` (2..kMaxLongLength) bytes from `distance` back with the result of a
// byte-by-byte forward copy.
inline void CopyMatchExact(uint8_t* to, size_t distance, size_t n) {
  if (n < 4) {
    CopyBytes(to, distance, n);
  } else if (distance >= 16 && n >= 16) {
    CopyChunks<16>(to, distance, n);
  } else if (distance >= 8 && n >= 8) {
    CopyChunks<8>(to, distance, n);
  } else if (distance >= 4) {
    CopyChunks<4>(to, distance, n);
  } else if (n >= 8) {
    FillPattern(to, distance, n);
  } else {
    CopyBytes(to, distance, n);
  }
}

// ---- Copies that may write up to 15 bytes past their end, with whatever
// values; the caller keeps the bytes they overwrite.

using decode_limits::kOverrun;

inline void Copy16(uint8_t* to, const uint8_t* from) { std::memcpy(to, from, 16); }

// `n` bytes from a separate buffer with kOverrun readable bytes past them.
inline void CopyLiteralsOver(uint8_t* to, const uint8_t* from, size_t n) {
  Copy16(to, from);
  for (size_t i = 16; i < n; i += 16) Copy16(to + i, from + i);
}

// A match of `n` (2..kMaxLongLength) bytes from `distance` back.
inline void CopyMatchOver(uint8_t* to, size_t distance, size_t n) {
  if (distance >= 16) {
    const uint8_t* from = to - distance;
    Copy16(to, from);
    for (size_t i = 16; i < n; i += 16) Copy16(to + i, from + i);
    return;
  }
  CopyMatchExact(to, distance, n);
}

}  // namespace decompress_copy
