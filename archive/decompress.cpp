#include "archive/decompress.h"

#include <algorithm>
#include <cstring>

#include "archive/decompress_copy.h"
#include "archive/decompress_split.h"
#include "archive/token_format.h"

// The stream mixes 32-bit control words with whole data bytes. A control
// word is read exactly when a bit is wanted and the current word is used up.
//
// Far from both ends of the blocks decoding runs block by block in two
// stages. The split walks the control words through the token grammar (see
// decompress_split.h): it needs no token decoded to know how many data bytes
// follow a word, so it gathers the words into one buffer of control bits and
// their data bytes into another, and marks where each match starts. The
// decode then takes the matches at their marked places: the bits between two
// matches are all literals, copied at once, and each match is read from its
// own place in the control bits, so no token waits for the one before it.
//
// Near the ends the checked decoder takes over at a token boundary: every
// bit and byte taken singly and bounded, nothing behind the output touched.
//
// Decoded in pieces, the block decoder stops between two blocks when the
// window has no room for the next one or its source may end inside it, and
// resumes there; the checked decoder stops before a token that does not
// fit or whose bytes are not all given yet.

namespace {

using namespace decompress_copy;
using namespace decode_limits;

// kGoOn: the block decoder has more to do. kNeedSource and kWindowFull:
// decoding in pieces stopped where it can resume.
enum class Step { kEnded, kMalformed, kNearEnd, kGoOn, kNeedSource, kWindowFull };

// Where a decoder starts or resumes.
struct DecoderState {
  // The block decoder: the control word where the next block starts. The
  // checked decoder: the next byte to read.
  const uint8_t* in;
  const uint8_t* inEnd;
  uint8_t* out;
  uint8_t* outEnd;
  uint8_t* outStart;  // the first byte that a match may copy from
  // The checked decoder's untaken control bits, most significant first,
  // zero behind them, and their number.
  uint64_t bits;
  unsigned count;
  // The block decoder's place in its first word: the split's state at the
  // word's first bit, and the bits and data bytes decoded before.
  unsigned splitIndex;
  unsigned bitFrom;
  unsigned dataFrom;
  bool sourceEnds;       // no bytes of the stream follow inEnd
  bool destinationEnds;  // no output may follow outEnd; else more room comes once it is taken
};

// Tables of the block decoder. A head entry, indexed by the 9 bits after a
// match's first bit (a long match's second bit and its widest distance
// code, or a short match's bits): bits 0-4 the bits of the token up to its length code
// (all of a short match's), 5-7 the shift of the data byte, bit 8 set for a
// short match, bit 9 for a wide short one whose extra bits are all ones (the
// end marker when its byte is 0xFF), 16-31 the distance less the shifted
// data byte. A length entry, indexed by the 9 bits after the distance code:
// bits 0-3 the code's width, bit 7 set when a data byte follows, 8-15 the
// length (less that byte).
constexpr uint32_t kShortMatch = 1u << 8;
constexpr uint32_t kEndCandidate = 1u << 9;

constexpr unsigned kHeadIndexBits = 9;
constexpr unsigned kLengthIndexBits = 9;
static_assert(1 + kDistanceCodes[kDistanceCodeCount - 1].selectorBits +
                      kDistanceCodes[kDistanceCodeCount - 1].extraBits ==
                  kHeadIndexBits,
              "a head entry sees a long match's widest distance code");
static_assert(2 + kWideShortExtraBits <= kHeadIndexBits, "and a wide short match's bits");
static_assert(kLengthCodes[kLengthCodeCount - 2].selectorBits +
                      kLengthCodes[kLengthCodeCount - 2].extraBits ==
                  kLengthIndexBits,
              "a length entry sees the widest length code");
// A match is read from 64 bits loaded at the byte of its first bit: at
// least 57 of them are its own and after.
static_assert(kMostTokenBits <= 64 - 7, "a match's bits lie in one 64-bit load");

struct MatchTables {
  uint32_t head[1 << kHeadIndexBits];
  uint16_t length[1 << kLengthIndexBits];
};

constexpr unsigned ZerosBefore(unsigned value, unsigned width, unsigned limit) {
  unsigned zeros = 0;
  while (zeros < limit && !(value >> (width - 1 - zeros) & 1)) ++zeros;
  return zeros;
}

constexpr MatchTables MakeMatchTables() {
  MatchTables t{};
  constexpr unsigned kWideExtraMask = (1u << kWideShortExtraBits) - 1;
  for (unsigned i = 0; i < 512; ++i) {
    if (i & 256) {  // 1: short match; then the wide bit and its extra bits
      const unsigned wide = (i >> 7) & 1, extra = (i >> (7 - kWideShortExtraBits)) & kWideExtraMask;
      t.head[i] = wide ? (kNarrowShortValues + 1 + extra) << 16 |
                             (extra == kWideExtraMask ? kEndCandidate : 0) | kShortMatch |
                             kWideShortExtraBits << 5 | (3 + kWideShortExtraBits)
                       : 1u << 16 | kShortMatch | 3;
      continue;
    }
    const unsigned code = i & 255;  // 0: long match; the distance code follows
    const TokenCode& c = kDistanceCodes[ZerosBefore(code, 8, kDistanceCodeCount - 1)];
    const unsigned extra = (code >> (8 - c.selectorBits - c.extraBits)) & ((1u << c.extraBits) - 1);
    t.head[i] = (c.base + extra + 1) << 16 | c.extraBits << 5 | (2 + c.selectorBits + c.extraBits);
  }
  for (unsigned i = 0; i < 512; ++i) {
    const unsigned zeros = ZerosBefore(i, 9, kLengthByteCode);
    const TokenCode& c = kLengthCodes[zeros];
    const unsigned extra = (i >> (9 - c.selectorBits - c.extraBits)) & ((1u << c.extraBits) - 1);
    t.length[i] = uint16_t((c.base + extra) << 8 | (zeros == kLengthByteCode ? 0x80 : 0) |
                           (c.selectorBits + c.extraBits));
  }
  return t;
}

constexpr MatchTables kMatch = MakeMatchTables();

inline uint32_t LoadLittle32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void StoreBig32(uint8_t* p, uint32_t v) {
  v = __builtin_bswap32(v);
  std::memcpy(p, &v, 4);
}

inline uint64_t LoadBig64(const uint8_t* p) { return __builtin_bswap64(Load64(p)); }

// ---- Block decoder.

// Matches of a word whose places are stored without a branch; more take a
// loop, which hardly ever runs.
constexpr unsigned kStartsStored = 6;

struct Block {
  // Control words of the block, most significant bit first, and 8 bytes for
  // the look-ahead of a match near the end.
  uint8_t control[kBlockWords * 4 + 8];
  // Data bytes of the block in stream order, with room for the split's copy
  // of a word's reach behind the last word and a literal copy's overrun.
  uint8_t data[kBlockWords * kMostReadsPerWord + kMostReadsPerWord + kOverrun];
  // Places of the matches, as bit numbers in `control`; the unbranched
  // stores of the last word may write kStartsStored places past its own.
  uint16_t starts[kBlockWords * kMostMatchesPerWord + kStartsStored];
  const uint8_t* wordAt[kBlockWords];
  uint16_t dataAt[kBlockWords];   // where the word's data bytes start in `data`
  uint16_t stateAt[kBlockWords];  // the split's state index at the word's first bit
};

// Keeps the destination bytes that the copies' overruns overwrite: the
// bytes behind the output are the caller's (Decompress leaves them as they
// were) or the window's room not yet decoded into, and a decoder that stops
// must leave them as they were for the checked decoder, which writes
// exactly, and for the caller. Before a
// step writes [out, out + n) and up to kOverrun bytes past it, it saves the
// kOverrun bytes at out + max(n, kOverrun): they still hold their own
// values, since the steps before reached at most kOverrun bytes past out.
// The kOverrun bytes behind the output at any step boundary are then the
// last saved for their places. A ring of 2 * kOverrun places keeps them,
// each window stored twice, so that the upper half always holds the latest
// value of every place.
class OverrunGuard {
 public:
  explicit OverrunGuard(uint8_t* out) { Save(out); }

  void BeforeStep(uint8_t* out, size_t n) { Save(out + (n > kOverrun ? n : kOverrun)); }

  // Puts back the bytes past `out` that an overrun may have changed.
  void Restore(uint8_t* out) const {
    for (size_t i = 0; i < kOverrun; ++i) {
      out[i] = ring_[kPlaces + (uintptr_t(out + i) & (kPlaces - 1))];
    }
  }

 private:
  static constexpr size_t kPlaces = 2 * kOverrun;

  void Save(const uint8_t* at) {
    uint8_t saved[kOverrun];
    std::memcpy(saved, at, kOverrun);
    const size_t place = uintptr_t(at) & (kPlaces - 1);
    std::memcpy(ring_ + place, saved, kOverrun);
    std::memcpy(ring_ + place + kPlaces, saved, kOverrun);
  }

  uint8_t ring_[2 * kPlaces + kOverrun];
};

// A place at a token boundary: control word `word` of the stream, `bit` of
// its bits taken (0..31), `dataUsed` of the data bytes after them read.
// Gives the checked decoder's read position and bits.
void Resume(const uint8_t* word, unsigned bit, unsigned dataUsed, DecoderState& s) {
  if (bit == 0) {
    s.in = word;
    s.bits = 0;
    s.count = 0;
    return;
  }
  s.in = word + 4 + dataUsed;
  s.bits = uint64_t(LoadLittle32(word)) << (32 + bit);
  s.count = 32 - bit;
}

// Whether the output has room for a whole block, else the step that stops
// before it: the checked decoder's turn at the end, or the window's.
Step RoomForBlock(const DecoderState& s, const uint8_t* out) {
  if (s.destinationEnds) {
    return size_t(s.outEnd - out) < kDestinationMargin ? Step::kNearEnd : Step::kGoOn;
  }
  return size_t(s.outEnd - out) < kBlockRoom ? Step::kWindowFull : Step::kGoOn;
}

Step DecodeBlocks(DecoderState& s) {
  Block b;
  const uint8_t* word = s.in;
  unsigned index = s.splitIndex;
  unsigned bitFrom = s.bitFrom, dataFrom = s.dataFrom;  // of the block's first word, decoded before
  uint8_t* out = s.out;
  uint8_t* const outEnd = s.outEnd;
  uint8_t* const outStart = s.outStart;
  switch (RoomForBlock(s, out)) {
    case Step::kNearEnd: Resume(word, bitFrom, dataFrom, s); return Step::kNearEnd;
    case Step::kWindowFull: return Step::kWindowFull;
    default: break;
  }
  OverrunGuard guard(out);

  unsigned prevEnd = 0, dp = 0, next = 0;  // end of the last token, data read, next match
  // Leaves the fast stage with the output at `out`.
  auto leave = [&](Step step) {
    s.out = out;
    guard.Restore(out);
    return step;
  };
  // Copies the literals that fit before the margin and hands off at the
  // boundary after them.
  auto nearEnd = [&](unsigned run) {
    const size_t room = size_t(outEnd - out);
    const unsigned fit =
        room > kDestinationMargin ? unsigned(std::min<size_t>(run, room - kDestinationMargin)) : 0;
    guard.BeforeStep(out, fit);
    CopyLiteralsOver(out, b.data + dp, fit);
    out += fit;
    dp += fit;
    const unsigned at = prevEnd + fit;
    const unsigned k = at / 32;
    Resume(b.wordAt[k], at % 32, dp - b.dataAt[k], s);
    return leave(Step::kNearEnd);
  };
  // Decodes the matches before match `end` with the literals before each;
  // kGoOn when all were decoded.
  auto decodeTo = [&](unsigned end) {
    for (; next < end; ++next) {
      const unsigned m = b.starts[next];
      const unsigned run = m - prevEnd;
      if (__builtin_expect(size_t(outEnd - out) < run + kDestinationMargin, 0)) {
        return nearEnd(run);
      }
      const uint64_t peek = LoadBig64(b.control + (m >> 3)) << (m & 7);
      const uint32_t head = kMatch.head[(peek >> 54) & 511];
      const uint32_t lengthCode = kMatch.length[(peek << (head & 31)) >> 55];
      const uint32_t byte = b.data[dp + run];
      const size_t distance = (head >> 16) + (byte << ((head >> 5) & 7));
      // A short match's length code entry is read from bits past it and
      // masked off: no branch between the two kinds.
      const uint32_t longMask = ((head >> 8) & 1) - 1;  // all ones for a long match
      const uint32_t code = lengthCode & longMask;
      const unsigned lengthByte = (code >> 7) & 1;
      size_t length = (code >> 8) + (2 & ~longMask);
      if (__builtin_expect(lengthByte, 0)) length += b.data[dp + run + 1];
      const unsigned width = (head & 31) + (code & 15);
      // The end marker, or a match from before the destination's start: the
      // literals before it are the last bytes written.
      const bool ended = ((head & kEndCandidate) | byte) == (kEndCandidate | 0xFF);
      if (__builtin_expect(ended || distance > size_t(out - outStart) + run, 0)) {
        guard.BeforeStep(out, run);
        CopyLiteralsOver(out, b.data + dp, run);
        out += run;
        return leave(ended ? Step::kEnded : Step::kMalformed);
      }
      guard.BeforeStep(out, run + length);
      CopyLiteralsOver(out, b.data + dp, run);
      out += run;
      CopyMatchOver(out, distance, length);
      out += length;
      dp += run + 1 + lengthByte;
      prevEnd = m + width;
    }
    return Step::kGoOn;
  };

  // Splits the words from `word` on into the block: control bits, data
  // bytes and the places where matches start. Gives the number of words
  // and, in `beforeLast`, the matches that start before the last one.
  auto splitBlock = [&](unsigned* beforeLast) {
    unsigned words = 0, dataLength = 0, count = 0;
    for (const uint8_t* at = word; words < kBlockWords && size_t(s.inEnd - at) >= kWordReach;
         ++words) {
      const uint32_t value = LoadLittle32(at);
      StoreBig32(b.control + 4 * words, value);
      std::memcpy(b.data + dataLength, at + 4, kMostReadsPerWord);
      b.wordAt[words] = at;
      b.dataAt[words] = uint16_t(dataLength);
      b.stateAt[words] = uint16_t(index);
      const decompress_split::WordSplit split = decompress_split::SplitWord(value, &index);
      // The places, the first kStartsStored without a branch: as many bits
      // above the word's keep the search from running out past its last
      // match (the places found there are not counted).
      uint64_t starts = split.starts | ((uint64_t(1) << kStartsStored) - 1) << 32;
      const unsigned base = words * 32;
      for (unsigned i = 0; i < kStartsStored; ++i) {
        b.starts[count + i] = uint16_t(base + unsigned(__builtin_ctzll(starts)));
        starts &= starts - 1;
      }
      for (unsigned i = kStartsStored; i < split.matches; ++i) {
        b.starts[count + i] = uint16_t(base + unsigned(__builtin_ctzll(starts)));
        starts &= starts - 1;
      }
      *beforeLast = count;
      count += split.matches;
      dataLength += split.reads;
      at += 4 + split.reads;
    }
    // The look-ahead of a match in the last word's bits and a literal copy's
    // overrun read these; they must hold no stale values.
    std::memset(b.control + 4 * words, 0, 8);
    std::memset(b.data + dataLength, 0, kOverrun);
    return words;
  };

  // Stops between two blocks, where the next call resumes.
  auto pause = [&](Step step) {
    s.in = word;
    s.splitIndex = index;
    s.bitFrom = bitFrom;
    s.dataFrom = dataFrom;
    return leave(step);
  };

  // Each block: split its words, decode the tokens that start before its
  // last word and the literals up to it, and start the next block at that
  // word, which is split again with the words after it.
  for (;;) {
    if (const Step room = RoomForBlock(s, out); room == Step::kWindowFull) return pause(room);
    if (!s.sourceEnds && size_t(s.inEnd - word) < kBlockSource) return pause(Step::kNeedSource);
    prevEnd = bitFrom, dp = dataFrom, next = 0;
    unsigned beforeLast = 0;
    const unsigned words = splitBlock(&beforeLast);
    if (words < 2) {
      Resume(word, bitFrom, dataFrom, s);
      return leave(Step::kNearEnd);
    }
    const unsigned last = words - 1;
    const Step step = decodeTo(beforeLast);
    if (step != Step::kGoOn) return step;
    // The literals up to the last word (inline: as a step of its own, the
    // loop measured 1-2% slower).
    const unsigned limit = last * 32;
    if (prevEnd < limit) {
      const unsigned run = limit - prevEnd;
      if (__builtin_expect(size_t(outEnd - out) < run + kDestinationMargin, 0)) {
        return nearEnd(run);
      }
      guard.BeforeStep(out, run);
      CopyLiteralsOver(out, b.data + dp, run);
      out += run;
      dp += run;
      prevEnd = limit;
    }
    word = b.wordAt[last];
    index = b.stateAt[last];
    bitFrom = prevEnd - limit;
    dataFrom = dp - b.dataAt[last];
  }
}

// ---- Checked mode: every bit and byte taken singly and bounded.

// A read past the source gives zeros and marks the reader failed; the
// decoder looks at that once per token, before the token takes effect.
class CheckedReader {
 public:
  explicit CheckedReader(DecoderState& s) : s_(s) {}

  bool Failed() const { return failed_; }

  uint32_t Bit() {
    if (s_.count == 0) {
      if (s_.inEnd - s_.in < 4) return Fail();
      s_.bits = uint64_t(LoadLittle32(s_.in)) << 32;
      s_.count = 32;
      s_.in += 4;
    }
    const uint32_t bit = uint32_t(s_.bits >> 63);
    s_.bits <<= 1;
    --s_.count;
    return bit;
  }

  uint32_t Bits(unsigned n) {
    uint32_t value = 0;
    for (unsigned i = 0; i < n; ++i) value = value << 1 | Bit();
    return value;
  }

  // The number of zero bits before a one bit, at most `limit` (then the one
  // bit is not taken).
  unsigned Zeros(unsigned limit) {
    unsigned zeros = 0;
    while (zeros < limit && !Bit()) ++zeros;
    return zeros;
  }

  uint32_t Byte() { return s_.in < s_.inEnd ? *s_.in++ : Fail(); }

 private:
  uint32_t Fail() {
    failed_ = true;
    return 0;
  }

  DecoderState& s_;
  bool failed_ = false;
};

// One token as the checked decoder reads it: a literal (distance 0, length
// 1), a match, or the end marker.
struct CheckedToken {
  bool ended;
  uint32_t literal;
  size_t distance;
  size_t length;
};

CheckedToken ReadToken(CheckedReader& read) {
  if (read.Bit()) return {false, read.Byte(), 0, 1};
  if (read.Bit()) {
    const uint32_t wide = read.Bit();
    uint32_t v = read.Byte();
    if (wide) {
      v = kNarrowShortValues + (v << kWideShortExtraBits) + read.Bits(kWideShortExtraBits);
      if (v >= kEndMarkerValue) return {true, 0, 0, 0};
    }
    return {false, 0, size_t(v) + 1, kShortMatchLength};
  }
  const TokenCode& d = kDistanceCodes[read.Zeros(kDistanceCodeCount - 1)];
  const uint32_t byte = read.Byte();
  const size_t distance = d.base + (byte << d.extraBits) + read.Bits(d.extraBits) + 1;
  const unsigned zeros = read.Zeros(kLengthByteCode);
  const TokenCode& l = kLengthCodes[zeros];
  const uint32_t extra = zeros == kLengthByteCode ? read.Byte() : read.Bits(l.extraBits);
  return {false, 0, distance, l.base + extra};
}

Step DecodeChecked(DecoderState& s) {
  for (;;) {
    // The token's start, where a stop for more source or room resumes.
    const uint8_t* const in = s.in;
    const uint64_t bits = s.bits;
    const unsigned count = s.count;
    auto stopBefore = [&](Step step) {
      s.in = in;
      s.bits = bits;
      s.count = count;
      return step;
    };
    CheckedReader read(s);
    const CheckedToken token = ReadToken(read);
    if (read.Failed()) {
      if (s.sourceEnds) break;
      return stopBefore(Step::kNeedSource);
    }
    if (token.ended) return Step::kEnded;
    if (token.distance > size_t(s.out - s.outStart)) break;
    if (token.length > size_t(s.outEnd - s.out)) {
      if (s.destinationEnds) break;
      return stopBefore(Step::kWindowFull);
    }
    if (token.distance == 0) {
      *s.out = uint8_t(token.literal);
    } else {
      CopyMatchExact(s.out, token.distance, token.length);
    }
    s.out += token.length;
  }
  // The one exit of a malformed stream: a read past the source, a match
  // from before the destination's start, or a write past its end.
  return Step::kMalformed;
}

}  // namespace

bool Decompress(uint8_t* destination, size_t destinationSize, const uint8_t* source,
                size_t sourceSize, size_t* produced) {
  DecoderState s{source,      source + sourceSize,
                 destination, destination + destinationSize,
                 destination, 0,
                 0,           decompress_split::kTokenStartIndex,
                 0,           0,
                 true,        true};
  Step step = DecodeBlocks(s);
  if (step == Step::kNearEnd) step = DecodeChecked(s);
  if (produced != nullptr) *produced = size_t(s.out - destination);
  return step == Step::kEnded;
}

// ---- Decoding in pieces.

PieceDecoder::PieceDecoder(uint8_t* window, size_t windowSize, uint64_t outputLimit)
    : window_(window),
      windowEnd_(window + windowSize),
      outputLimit_(outputLimit),
      out_(window),
      outputFrom_(window),
      splitIndex_(decompress_split::kTokenStartIndex) {}

PieceStatus PieceDecoder::Decode(const uint8_t* source, size_t size, bool last, size_t* taken) {
  // The window's end is the output's end once the rest of the recorded
  // size fits in it.
  const uint64_t rest = outputLimit_ - produced();
  const bool ends = rest <= uint64_t(windowEnd_ - out_);
  DecoderState s{source,   source + size, out_,   ends ? out_ + rest : windowEnd_,
                 window_,  bits_,         count_, splitIndex_,
                 bitFrom_, dataFrom_,     last,   ends};
  Step step = checked_ ? Step::kNearEnd : DecodeBlocks(s);
  if (step == Step::kNearEnd) {
    checked_ = true;
    step = DecodeChecked(s);
  }
  out_ = s.out;
  bits_ = s.bits;
  count_ = s.count;
  splitIndex_ = s.splitIndex;
  bitFrom_ = s.bitFrom;
  dataFrom_ = s.dataFrom;
  *taken = size_t(s.in - source);
  switch (step) {
    case Step::kEnded: return PieceStatus::kEnded;
    case Step::kNeedSource: return PieceStatus::kNeedSource;
    case Step::kWindowFull: return PieceStatus::kWindowFull;
    default: return PieceStatus::kMalformed;
  }
}

void PieceDecoder::TakeOutput() {
  // The window always holds the history behind the output: all of the
  // output while it is shorter, else its last kDecodeHistory bytes, so a
  // match reaches before the window's start only when it reaches before
  // the output's.
  const size_t held = size_t(out_ - window_);
  if (held > kDecodeHistory) {
    std::memmove(window_, out_ - kDecodeHistory, kDecodeHistory);
    windowBase_ += held - kDecodeHistory;
    out_ = window_ + kDecodeHistory;
  }
  outputFrom_ = out_;
}
