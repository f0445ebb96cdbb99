#include "archive/decompress.h"

#include <cstring>

// The stream mixes 32-bit control words with whole data bytes. A control
// word is read exactly when a bit is wanted and the current word is used up,
// so the decoder never looks ahead: it keeps the untaken bits of the current
// word left-aligned in a 64-bit register (the bits behind them are zero) and
// refills only on demand.
//
// Decoding runs in two modes built from one template: while the read position
// is at least kSourceMargin bytes and the write position kDestinationMargin
// bytes from their ends, no token can reach either end and reads and writes
// go unchecked (the distance is always checked). Near the ends every read and
// write is bounded.

namespace {

// One iteration consumes at most a control word and 32 literal bytes, or a
// control word and two data bytes.
constexpr size_t kSourceMargin = 4 + 32;
// The longest token writes 282 bytes.
constexpr size_t kDestinationMargin = 282;

constexpr unsigned kEndMarker = 2303;

enum class Step { kGoOn, kEnded, kMalformed, kNearEnd };

struct DecoderState {
  const uint8_t* in;
  const uint8_t* inEnd;
  uint8_t* out;
  uint8_t* outEnd;
  uint8_t* outStart;
  uint64_t bits;   // untaken control bits, most significant first; zero behind them
  unsigned count;  // how many bits of `bits` are untaken
};

inline uint32_t LoadLittle32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

inline void Store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

inline unsigned LeadingZeros64(uint64_t v) { return unsigned(__builtin_clzll(v)); }

// Reads the next control word at the read position.
template <bool kChecked>
inline bool Refill(DecoderState& s) {
  if (kChecked && s.inEnd - s.in < 4) return false;
  s.bits = uint64_t(LoadLittle32(s.in)) << 32;
  s.count = 32;
  s.in += 4;
  return true;
}

// Takes `k` (1..4) bits, most significant first, reading a new control word
// at the moment the first bit beyond the current one is wanted.
template <bool kChecked>
inline bool TakeBits(DecoderState& s, unsigned k, uint32_t* value) {
  if (s.count >= k) {
    *value = uint32_t(s.bits >> (64 - k));
    s.bits <<= k;
    s.count -= k;
    return true;
  }
  const unsigned have = s.count;
  uint32_t high = have ? uint32_t(s.bits >> (64 - have)) : 0;
  if (!Refill<kChecked>(s)) return false;
  const unsigned need = k - have;
  *value = (high << need) | uint32_t(s.bits >> (64 - need));
  s.bits <<= need;
  s.count -= need;
  return true;
}

template <bool kChecked>
inline bool TakeBit(DecoderState& s, uint32_t* bit) {
  if (s.count == 0 && !Refill<kChecked>(s)) return false;
  *bit = uint32_t(s.bits >> 63);
  s.bits <<= 1;
  --s.count;
  return true;
}

template <bool kChecked>
inline bool TakeByte(DecoderState& s, uint32_t* value) {
  if (kChecked && s.in >= s.inEnd) return false;
  *value = *s.in++;
  return true;
}

// Counts the zero bits before the first one bit, taking them and the one bit,
// but at most `limit` zeros (then the one bit is not taken). Returns the
// count of zeros.
template <bool kChecked>
inline bool TakeSelector(DecoderState& s, unsigned limit, unsigned* zeros) {
  if (s.count >= limit) {
    // A one bit planted at position `limit` caps the count at `limit`.
    const unsigned z = LeadingZeros64(s.bits | (uint64_t(1) << (63 - limit)));
    const unsigned taken = z + (z < limit ? 1 : 0);
    s.bits <<= taken;
    s.count -= taken;
    *zeros = z;
    return true;
  }
  unsigned z = 0;
  for (; z < limit; ++z) {
    uint32_t bit;
    if (!TakeBit<kChecked>(s, &bit)) return false;
    if (bit) break;
  }
  *zeros = z;
  return true;
}

// Copies `n` (1..32) literal bytes exactly, with no byte written behind them.
inline void CopyLiterals(uint8_t* to, const uint8_t* from, size_t n) {
  if (n >= 16) {
    std::memcpy(to, from, 16);
    std::memcpy(to + n - 16, from + n - 16, 16);
  } else if (n >= 8) {
    std::memcpy(to, from, 8);
    std::memcpy(to + n - 8, from + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(to, from, 4);
    std::memcpy(to + n - 4, from + n - 4, 4);
  } else {
    to[0] = from[0];
    if (n > 1) to[1] = from[1];
    if (n > 2) to[2] = from[2];
  }
}

// Block copy for distance >= width: chunk k reads bytes at least `width`
// positions back, all final before the chunk is written; the last chunk ends
// exactly at the match end and rewrites already-copied bytes with the same
// values, its sources lying before the first unwritten byte.
template <size_t kWidth>
inline void CopyChunks(uint8_t* to, size_t distance, size_t n) {
  const uint8_t* from = to - distance;
  size_t i = 0;
  for (; i + kWidth <= n; i += kWidth) std::memcpy(to + i, from + i, kWidth);
  if (i < n) std::memcpy(to + n - kWidth, from + n - kWidth, kWidth);
}

// The plain forward copy, byte by byte, for short stretches.
inline void CopyBytes(uint8_t* to, size_t distance, size_t n) {
  const uint8_t* from = to - distance;
  for (size_t i = 0; i < n; ++i) to[i] = from[i];
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

// Appends `n` (2..282) bytes from `distance` back with the result of a
// byte-by-byte forward copy.
inline void CopyMatch(uint8_t* to, size_t distance, size_t n) {
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

// Distance codes of a long match by the number of zeros before their one bit
// (four zeros: the last code, with no one bit).
constexpr unsigned kDistanceBase[5] = {0, 512, 1024, 2048, 4096};
constexpr unsigned kDistanceExtra[5] = {1, 1, 2, 3, 4};
// Length codes by the same count, up to four zeros.
constexpr unsigned kLengthBase[5] = {3, 4, 5, 7, 11};
constexpr unsigned kLengthExtra[5] = {0, 0, 1, 2, 4};

template <bool kChecked>
inline bool Appends(const DecoderState& s, size_t distance, size_t length) {
  if (distance > size_t(s.out - s.outStart)) return false;
  return !kChecked || length <= size_t(s.outEnd - s.out);
}

// Decodes tokens until the stream ends or fails; unchecked, stops with
// kNearEnd when the next token might reach either end.
template <bool kChecked>
Step Decode(DecoderState& s) {
  for (;;) {
    if (!kChecked && (size_t(s.inEnd - s.in) < kSourceMargin ||
                      size_t(s.outEnd - s.out) < kDestinationMargin)) {
      return Step::kNearEnd;
    }
    if (s.count == 0 && !Refill<kChecked>(s)) return Step::kMalformed;

    // A run of literal bits: the bit behind the last untaken one is zero, so
    // the run never counts past the word.
    size_t run = LeadingZeros64(~s.bits);
    if (run != 0) {
      bool cut = false;
      if (kChecked) {
        size_t room = size_t(s.outEnd - s.out);
        size_t left = size_t(s.inEnd - s.in);
        size_t fits = room < left ? room : left;
        if (run > fits) {
          run = fits;
          cut = true;
          if (run == 0) return Step::kMalformed;
        }
      }
      CopyLiterals(s.out, s.in, run);
      s.in += run;
      s.out += run;
      s.bits <<= run;
      s.count -= unsigned(run);
      if (cut) return Step::kMalformed;
      continue;
    }
    s.bits <<= 1;  // the match's first bit, 0
    --s.count;

    uint32_t bit, byte, extra;
    if (!TakeBit<kChecked>(s, &bit)) return Step::kMalformed;
    if (bit) {  // short match, wide short match or end marker
      uint32_t wide;
      if (!TakeBit<kChecked>(s, &wide) || !TakeByte<kChecked>(s, &byte)) {
        return Step::kMalformed;
      }
      uint32_t v = byte;
      if (wide) {
        if (!TakeBits<kChecked>(s, 3, &extra)) return Step::kMalformed;
        v = 256 + byte * 8 + extra;
        if (v >= kEndMarker) return Step::kEnded;
      }
      if (!Appends<kChecked>(s, v + 1, 2)) return Step::kMalformed;
      uint8_t* to = s.out;
      to[0] = to[-int(v) - 1];
      to[1] = to[-int(v)];
      s.out += 2;
      continue;
    }

    unsigned zeros;
    if (!TakeSelector<kChecked>(s, 4, &zeros) || !TakeByte<kChecked>(s, &byte) ||
        !TakeBits<kChecked>(s, kDistanceExtra[zeros], &extra)) {
      return Step::kMalformed;
    }
    const size_t distance = kDistanceBase[zeros] + (byte << kDistanceExtra[zeros]) + extra + 1;

    size_t length;
    if (!TakeSelector<kChecked>(s, 5, &zeros)) return Step::kMalformed;
    if (zeros == 5) {
      if (!TakeByte<kChecked>(s, &byte)) return Step::kMalformed;
      length = 27 + byte;
    } else {
      extra = 0;
      if (kLengthExtra[zeros] != 0 && !TakeBits<kChecked>(s, kLengthExtra[zeros], &extra)) {
        return Step::kMalformed;
      }
      length = kLengthBase[zeros] + extra;
    }
    if (!Appends<kChecked>(s, distance, length)) return Step::kMalformed;
    CopyMatch(s.out, distance, length);
    s.out += length;
  }
}

}  // namespace

bool Decompress(uint8_t* destination, size_t destinationSize, const uint8_t* source,
                size_t sourceSize, size_t* produced) {
  DecoderState s{source, source + sourceSize, destination, destination + destinationSize,
                 destination, 0, 0};
  Step step = Decode<false>(s);
  if (step == Step::kNearEnd) step = Decode<true>(s);
  if (produced != nullptr) *produced = size_t(s.out - destination);
  return step == Step::kEnded;
}
