#pragma once

#include <cstdint>

#include "archive/decode_limits.h"
#include "archive/token_format.h"

// Everything structural in a compressed stream follows from its control bits
// alone: where each token starts, how many control bits it takes, and after
// which of its bits it reads a data byte. The split tables walk the control
// bits eight at a time through the token grammar, so that the data bytes
// between one control word and the next are counted without decoding a
// single token.

namespace decompress_split {

// A position inside a token's grammar, between two control bits.
enum State : unsigned {
  kTokenStart,
  kAfter0,          // 0: a match; the next bit tells short from long
  kAfter01,         // 0 1: short match; the next bit is the wide bit
  kDistanceZeros0,  // 0 0 and 0..3 zeros of the distance selector
  kDistanceZeros1,
  kDistanceZeros2,
  kDistanceZeros3,
  kDistanceExtraLeft1,  // extra bits of the distance still to come
  kDistanceExtraLeft2,
  kDistanceExtraLeft3,
  kDistanceExtraLeft4,
  kLengthZeros0,  // 0..4 zeros of the length code
  kLengthZeros1,
  kLengthZeros2,
  kLengthZeros3,
  kLengthZeros4,
  kTailLeft1,  // extra bits that end the token (length code or wide short match)
  kTailLeft2,
  kTailLeft3,
  kTailLeft4,
  kStateCount
};

// One control bit taken in a state.
struct BitStep {
  State next;
  bool readsByte;    // a data byte is read right after this bit
  bool startsMatch;  // this bit is a match's first bit
};

// The state before the last `extraBits` (1..4) bits of a token part.
constexpr State DistanceExtraLeft(unsigned extraBits) {
  return State(kDistanceExtraLeft1 + extraBits - 1);
}
constexpr State TailLeft(unsigned extraBits) {
  return extraBits == 0 ? kTokenStart : State(kTailLeft1 + extraBits - 1);
}

constexpr BitStep TakeBit(State state, unsigned bit) {
  switch (state) {
    case kTokenStart:
      return bit ? BitStep{kTokenStart, true, false} : BitStep{kAfter0, false, true};
    case kAfter0: return {bit ? kAfter01 : kDistanceZeros0, false, false};
    case kAfter01: return {bit ? TailLeft(kWideShortExtraBits) : kTokenStart, true, false};
    case kDistanceZeros0:
    case kDistanceZeros1:
    case kDistanceZeros2:
    case kDistanceZeros3: {
      // A one ends the selector, and so does the last code's last zero.
      const unsigned zeros = state - kDistanceZeros0 + (bit ? 0 : 1);
      if (bit || zeros == kDistanceCodeCount - 1) {
        return {DistanceExtraLeft(kDistanceCodes[zeros].extraBits), true, false};
      }
      return {State(state + 1), false, false};
    }
    case kDistanceExtraLeft1: return {kLengthZeros0, false, false};
    case kDistanceExtraLeft2:
    case kDistanceExtraLeft3:
    case kDistanceExtraLeft4: return {State(state - 1), false, false};
    case kLengthZeros0:
    case kLengthZeros1:
    case kLengthZeros2:
    case kLengthZeros3:
    case kLengthZeros4: {
      const unsigned zeros = state - kLengthZeros0;
      if (bit) return {TailLeft(kLengthCodes[zeros].extraBits), false, false};
      // The last code's fifth zero: its data byte follows.
      if (zeros + 1 == kLengthByteCode) return {kTokenStart, true, false};
      return {State(state + 1), false, false};
    }
    case kTailLeft1: return {kTokenStart, false, false};
    case kTailLeft2:
    case kTailLeft3:
    case kTailLeft4: return {State(state - 1), false, false};
    default: return {kTokenStart, false, false};
  }
}

// Entry for (state, control byte), indexed by state * 256 + byte: bits 0-12
// the index base of the state after the byte's eight bits (next state * 256),
// bits 13-18 the number of data bytes read after them, bits 19-23 the number
// of matches that start in them, bits 24-31 the bits where a match starts
// (bit i: the byte's i-th bit taken, most significant first). The counts of
// a word's four bytes add up without carrying into the next field.
constexpr unsigned kIndexMask = 0x1FFF;
constexpr unsigned kReadsShift = 13;
constexpr unsigned kStartsCountShift = 19;
constexpr uint32_t kCountsMask = 0x00FFE000;
static_assert(kStateCount * 256 <= kIndexMask + 1, "the index base fits its 13 bits");
static_assert(decode_limits::kMostReadsPerWord < 64,
              "a word's data bytes add up within their 6 bits without a carry");
static_assert(decode_limits::kMostMatchesPerWord < 32,
              "a word's match starts add up within their 5 bits without a carry");

// TakeBit for every state and bit, so that the byte tables below are made in
// few enough steps for every compiler's constant evaluation.
struct BitSteps {
  BitStep step[kStateCount][2];
};

constexpr BitSteps MakeBitSteps() {
  BitSteps t{};
  for (unsigned s = 0; s < kStateCount; ++s) {
    t.step[s][0] = TakeBit(State(s), 0);
    t.step[s][1] = TakeBit(State(s), 1);
  }
  return t;
}

inline constexpr BitSteps kBitSteps = MakeBitSteps();

struct Tables {
  uint32_t entry[kStateCount * 256];
  uint16_t next[kStateCount * 256];  // bits 0-12 of the entry alone
};

constexpr Tables MakeTables() {
  Tables t{};
  for (unsigned s = 0; s < kStateCount; ++s) {
    for (unsigned byte = 0; byte < 256; ++byte) {
      State state = State(s);
      unsigned reads = 0, starts = 0, count = 0;
      for (unsigned i = 0; i < 8; ++i) {
        const BitStep& step = kBitSteps.step[state][(byte >> (7 - i)) & 1];
        reads += step.readsByte;
        count += step.startsMatch;
        starts |= unsigned(step.startsMatch) << i;
        state = step.next;
      }
      t.entry[s * 256 + byte] =
          unsigned(state) * 256 | reads << kReadsShift | count << kStartsCountShift | starts << 24;
      t.next[s * 256 + byte] = uint16_t(unsigned(state) * 256);
    }
  }
  return t;
}

inline constexpr Tables kTables = MakeTables();

// What the split finds in one control word.
struct WordSplit {
  unsigned reads;    // data bytes read after the word's bits
  unsigned matches;  // matches that start in the word
  uint32_t starts;   // bit i: a match starts at the word's i-th bit taken
};

// The control word `word` taken from the state whose index base is `*index`;
// sets `*index` to the state after the word.
inline WordSplit SplitWord(uint32_t word, unsigned* index) {
  // The states follow each other through the narrow table; the counts and
  // places come from the wide one, off that chain.
  const unsigned i0 = *index + (word >> 24);
  const unsigned i1 = kTables.next[i0] + ((word >> 16) & 255);
  const unsigned i2 = kTables.next[i1] + ((word >> 8) & 255);
  const unsigned i3 = kTables.next[i2] + (word & 255);
  *index = kTables.next[i3];
  const uint32_t e0 = kTables.entry[i0], e1 = kTables.entry[i1], e2 = kTables.entry[i2],
                 e3 = kTables.entry[i3];
  const uint32_t counts =
      (e0 & kCountsMask) + (e1 & kCountsMask) + (e2 & kCountsMask) + (e3 & kCountsMask);
  return {counts >> kReadsShift & 63, counts >> kStartsCountShift,
          e0 >> 24 | (e1 >> 16 & 0xFF00) | (e2 >> 8 & 0xFF0000) | (e3 & 0xFF000000)};
}

constexpr unsigned kTokenStartIndex = unsigned(kTokenStart) * 256;

}  // namespace decompress_split
