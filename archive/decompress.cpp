#include "archive/decompress.h"

#include <cstring>

// The stream mixes 32-bit control words with whole data bytes. A control
// word is read exactly when a bit is wanted and the current word is used up;
// the decoder keeps the untaken bits of the current word left-aligned in a
// 64-bit register, with zero bits behind them.
//
// Decoding runs in two modes. While the read position is at least
// kSourceMargin bytes and the write position kDestinationMargin bytes from
// their ends, no token can reach either end: reads and writes go unchecked
// (the distance is always checked), a match's bits are read through tables
// from a look-ahead of the next control word, and short copies rewrite the
// bytes behind them with the values they already hold. Near the ends every
// read and write is bounded and nothing behind the output is touched.

namespace {

constexpr unsigned kEndMarker = 2303;

// One pass of the fast loop reads at most a control word, 32 literals, and a
// match's look-ahead (bytes 0..8 from its start); it writes at most 32
// literals and a match of 282 bytes.
constexpr size_t kSourceMargin = 64;
constexpr size_t kDestinationMargin = 320;

enum class Step { kEnded, kMalformed, kNearEnd };

struct DecoderState {
  const uint8_t* in;
  const uint8_t* inEnd;
  uint8_t* out;
  uint8_t* outEnd;
  uint8_t* outStart;
  uint64_t bits;   // untaken control bits, most significant first; zero behind them
  unsigned count;  // how many bits of `bits` are untaken
};

// Distance codes of a long match, by the number of zero bits before the
// code's one bit (four zeros: the last code, which has no one bit).
struct Code {
  unsigned selectorBits;
  unsigned extraBits;
  unsigned base;
};
constexpr Code kDistanceCodes[5] = {{1, 1, 0}, {2, 1, 512}, {3, 2, 1024}, {4, 3, 2048},
                                    {4, 4, 4096}};
// Length codes by the same count; five zeros: a data byte follows.
constexpr Code kLengthCodes[6] = {{1, 0, 3}, {2, 0, 4}, {3, 1, 5},
                                  {4, 2, 7}, {5, 4, 11}, {5, 0, 27}};
constexpr unsigned kLengthByteCode = 5;

// Lookup tables of the fast mode, built from the codes above. A distance
// entry, indexed by the 8 bits after a long match's 0 0: bits 0-3 the code's
// width (selector and extra bits), 4-7 the extra bits' width (the data
// byte's shift), 8-11 the selector's width, 16-31 the distance less the
// shifted data byte. A length entry, indexed by the 9 bits after the
// distance code: bits 0-3 the code's width, bit 7 set when a data byte
// follows, 8-15 the length (less that byte).
struct FastTables {
  uint32_t distance[256];
  uint16_t length[512];
};

constexpr unsigned ZerosBefore(unsigned value, unsigned width, unsigned limit) {
  unsigned zeros = 0;
  while (zeros < limit && !(value >> (width - 1 - zeros) & 1)) ++zeros;
  return zeros;
}

constexpr FastTables MakeFastTables() {
  FastTables t{};
  for (unsigned i = 0; i < 256; ++i) {
    const Code& c = kDistanceCodes[ZerosBefore(i, 8, 4)];
    const unsigned extra = (i >> (8 - c.selectorBits - c.extraBits)) & ((1u << c.extraBits) - 1);
    t.distance[i] = (c.base + extra + 1) << 16 | c.selectorBits << 8 | c.extraBits << 4 |
                    (c.selectorBits + c.extraBits);
  }
  for (unsigned i = 0; i < 512; ++i) {
    const unsigned zeros = ZerosBefore(i, 9, 5);
    const Code& c = kLengthCodes[zeros];
    const unsigned extra = (i >> (9 - c.selectorBits - c.extraBits)) & ((1u << c.extraBits) - 1);
    t.length[i] = uint16_t((c.base + extra) << 8 | (zeros == kLengthByteCode ? 0x80 : 0) |
                           (c.selectorBits + c.extraBits));
  }
  return t;
}

constexpr FastTables kFast = MakeFastTables();

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

// Appends `n` (2..282) bytes from `distance` back with the result of a
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

// ---- Merged copies of the fast mode: an 8-byte store whose bytes beyond the
// copy are the destination's own bytes, read just before, so the destination
// behind the output keeps its values.

// kByteMasks[kMaskOffset + n] keeps the low n bytes of a word, its first n
// in memory on the little-endian hosts the archive needs: none for n <= 0,
// all for n >= 8.
constexpr int kMaskOffset = 24;
struct ByteMasks {
  uint64_t mask[kMaskOffset + 33];
};
constexpr ByteMasks MakeByteMasks() {
  ByteMasks m{};
  for (int i = 0; i < kMaskOffset + 33; ++i) {
    const int n = i - kMaskOffset;
    m.mask[i] = n <= 0 ? 0 : n >= 8 ? ~uint64_t(0) : (uint64_t(1) << (8 * n)) - 1;
  }
  return m;
}
constexpr ByteMasks kByteMasks = MakeByteMasks();

inline uint64_t ByteMask(int n) { return kByteMasks.mask[kMaskOffset + n]; }

inline void MergeStore64(uint8_t* to, uint64_t value, uint64_t mask) {
  const uint64_t old = Load64(to);
  Store64(to, old ^ ((old ^ value) & mask));
}

// `n` (1..32) literal bytes.
inline void CopyLiterals(uint8_t* to, const uint8_t* from, int n) {
  MergeStore64(to, Load64(from), ByteMask(n));
  if (n <= 8) return;
  MergeStore64(to + 8, Load64(from + 8), ByteMask(n - 8));
  MergeStore64(to + 16, Load64(from + 16), ByteMask(n - 16));
  MergeStore64(to + 24, Load64(from + 24), ByteMask(n - 24));
}

// A match of up to 16 bytes at distance >= 8 as two merged words: each word's
// sources lie at least 8 bytes back, so the second word reads only bytes
// that the first has made final.
inline void CopyMatchFast(uint8_t* to, size_t distance, size_t n) {
  if (distance >= 8 && n <= 16) {
    MergeStore64(to, Load64(to - distance), ByteMask(int(n)));
    MergeStore64(to + 8, Load64(to + 8 - distance), ByteMask(int(n) - 8));
    return;
  }
  CopyMatchExact(to, distance, n);
}

// ---- Fast mode.

// Decodes tokens while far from both ends; kNearEnd when the next pass of the
// loop might reach one.
Step DecodeFast(DecoderState& s) {
  for (;;) {
    if (size_t(s.inEnd - s.in) < kSourceMargin ||
        size_t(s.outEnd - s.out) < kDestinationMargin) {
      return Step::kNearEnd;
    }
    if (s.count == 0) {
      s.bits = uint64_t(LoadLittle32(s.in)) << 32;
      s.count = 32;
      s.in += 4;
    }
    // A run of literal bits: the bit behind the last untaken one is zero, so
    // the run never counts past the word.
    const unsigned run = LeadingZeros64(~s.bits);
    if (run != 0) {
      CopyLiterals(s.out, s.in, int(run));
      s.in += run;
      s.out += run;
      s.bits <<= run;
      s.count -= run;
      if (s.count == 0) continue;
    }

    // A match: its first bit, 0, is the next untaken one. The next control
    // word lies at the read position when the token needs it before its
    // first data byte, one byte on when after; the token's bits are read
    // from the untaken bits followed by the word at the right place.
    const unsigned count = s.count;
    const uint8_t* in = s.in;
    const uint64_t wordFirst = s.bits | uint64_t(LoadLittle32(in)) << (32 - count);
    const uint64_t byteFirst = s.bits | uint64_t(LoadLittle32(in + 1)) << (32 - count);
    uint64_t look;
    unsigned consumed;
    size_t distance, length;
    if (wordFirst & (uint64_t(1) << 62)) {  // 0 1: short match or end marker
      // The word comes first only when fewer than three bits are left.
      look = byteFirst;
      uint32_t byte = in[0];
      if (__builtin_expect(count < 3, 0)) {
        look = wordFirst;
        byte = in[4];
      }
      const uint32_t wide = uint32_t(look >> 61) & 1;
      consumed = 3 + 3 * wide;
      const uint32_t v = wide ? 256 + byte * 8 + (uint32_t(look >> 58) & 7) : byte;
      if (v >= kEndMarker) return Step::kEnded;
      s.in = in + 1;
      if (__builtin_expect(consumed > count, 0)) s.in += 4;
      distance = v + 1;
      length = 2;
    } else {  // 0 0: long match
      // The selector reads the same from either placement when it lies
      // before the next word, and from the word-first one when it runs into
      // it; mostly it lies before.
      uint32_t code = kFast.distance[(wordFirst << 2) >> 56];
      look = wordFirst;
      uint32_t byte = in[4];
      if (__builtin_expect(count >= 2 + ((code >> 8) & 15), 1)) {
        look = byteFirst;
        byte = in[0];
        code = kFast.distance[(byteFirst << 2) >> 56];
      }
      const unsigned distanceBits = code & 15;
      distance = (code >> 16) + (byte << ((code >> 4) & 15));

      const uint32_t lengthCode = kFast.length[(look << (2 + distanceBits)) >> 55];
      consumed = 2 + distanceBits + (lengthCode & 15);
      // The length byte comes after every bit of the token, so after the
      // new control word when the token reached one.
      const uint8_t* after = in + 1;
      if (__builtin_expect(consumed > count, 0)) after += 4;
      const uint32_t lengthByte = (lengthCode >> 7) & 1;
      length = lengthCode >> 8;
      s.in = after;
      if (__builtin_expect(lengthByte, 0)) length += *s.in++;
    }
    const unsigned left = count + 32 * (consumed > count) - consumed;
    s.bits = (look << consumed) & ~(~uint64_t(0) >> left);
    s.count = left;

    if (distance > size_t(s.out - s.outStart)) return Step::kMalformed;
    CopyMatchFast(s.out, distance, length);
    s.out += length;
  }
}

// ---- Checked mode: every bit and byte taken singly and bounded.

class CheckedReader {
 public:
  explicit CheckedReader(DecoderState& s) : s_(s) {}

  bool Bit(uint32_t* bit) {
    if (s_.count == 0) {
      if (s_.inEnd - s_.in < 4) return false;
      s_.bits = uint64_t(LoadLittle32(s_.in)) << 32;
      s_.count = 32;
      s_.in += 4;
    }
    *bit = uint32_t(s_.bits >> 63);
    s_.bits <<= 1;
    --s_.count;
    return true;
  }

  bool Bits(unsigned n, uint32_t* value) {
    *value = 0;
    for (unsigned i = 0; i < n; ++i) {
      uint32_t bit;
      if (!Bit(&bit)) return false;
      *value = *value << 1 | bit;
    }
    return true;
  }

  // The number of zero bits before a one bit, at most `limit` (then the one
  // bit is not taken).
  bool Zeros(unsigned limit, unsigned* zeros) {
    for (*zeros = 0; *zeros < limit; ++*zeros) {
      uint32_t bit;
      if (!Bit(&bit)) return false;
      if (bit) break;
    }
    return true;
  }

  bool Byte(uint32_t* value) {
    if (s_.in >= s_.inEnd) return false;
    *value = *s_.in++;
    return true;
  }

 private:
  DecoderState& s_;
};

Step DecodeChecked(DecoderState& s) {
  CheckedReader read(s);
  for (;;) {
    uint32_t bit, byte, extra;
    if (!read.Bit(&bit)) return Step::kMalformed;
    if (bit) {
      if (!read.Byte(&byte) || s.out == s.outEnd) return Step::kMalformed;
      *s.out++ = uint8_t(byte);
      continue;
    }
    size_t distance, length;
    if (!read.Bit(&bit)) return Step::kMalformed;
    if (bit) {
      uint32_t wide;
      if (!read.Bit(&wide) || !read.Byte(&byte)) return Step::kMalformed;
      uint32_t v = byte;
      if (wide) {
        if (!read.Bits(3, &extra)) return Step::kMalformed;
        v = 256 + byte * 8 + extra;
        if (v >= kEndMarker) return Step::kEnded;
      }
      distance = v + 1;
      length = 2;
    } else {
      unsigned zeros;
      if (!read.Zeros(4, &zeros)) return Step::kMalformed;
      const Code& d = kDistanceCodes[zeros];
      if (!read.Byte(&byte) || !read.Bits(d.extraBits, &extra)) return Step::kMalformed;
      distance = d.base + (byte << d.extraBits) + extra + 1;
      if (!read.Zeros(5, &zeros)) return Step::kMalformed;
      const Code& l = kLengthCodes[zeros];
      if (zeros == kLengthByteCode) {
        if (!read.Byte(&extra)) return Step::kMalformed;
      } else if (!read.Bits(l.extraBits, &extra)) {
        return Step::kMalformed;
      }
      length = l.base + extra;
    }
    if (distance > size_t(s.out - s.outStart) || length > size_t(s.outEnd - s.out)) {
      return Step::kMalformed;
    }
    CopyMatchExact(s.out, distance, length);
    s.out += length;
  }
}

}  // namespace

bool Decompress(uint8_t* destination, size_t destinationSize, const uint8_t* source,
                size_t sourceSize, size_t* produced) {
  DecoderState s{source, source + sourceSize, destination, destination + destinationSize,
                 destination, 0, 0};
  Step step = DecodeFast(s);
  if (step == Step::kNearEnd) step = DecodeChecked(s);
  if (produced != nullptr) *produced = size_t(s.out - destination);
  return step == Step::kEnded;
}
