// What each token of the compressed stream takes of it, and what that costs
// the parse. The compressor's parse and its token writer agree on these
// figures.
//
// Size: a token's control bits (taken from the 32-bit control words) and its
// whole data bytes. Price: the one number the parse weighs a token by,
// control bits + 8 * data bytes. Cost: the sum of the prices of a run of
// tokens (the cost of a path, of reaching a position, of a lane).
#pragma once

#include <cstdint>

#include "archive/token_format.h"

struct TokenSize {
  int bits = 0;   // control bits
  int bytes = 0;  // data bytes
};

constexpr TokenSize kLiteralSize{1, 1};
constexpr TokenSize kNarrowShortSize{3, 1};                           // distance 1..256
constexpr TokenSize kWideShortSize{3 + int(kWideShortExtraBits), 1};  // distance 257..2303
constexpr TokenSize kEndMarkerSize = kWideShortSize;

// The measure the parse minimises: control bits + 8 * data bytes.
constexpr uint32_t Price(TokenSize size) { return uint32_t(size.bits + 8 * size.bytes); }

constexpr TokenSize ShortMatchSize(uint32_t distance) {
  return distance <= kMaxNarrowShortDistance ? kNarrowShortSize : kWideShortSize;
}

// The five ranges of a long match's distance code: selector bits, then one
// data byte, then extra bits.
constexpr int kLongDistanceClasses = int(kDistanceCodeCount);
constexpr uint32_t kLongDistanceClassEnd[kLongDistanceClasses] = {
    DistanceCodeEnd(kDistanceCodes[0]), DistanceCodeEnd(kDistanceCodes[1]),
    DistanceCodeEnd(kDistanceCodes[2]), DistanceCodeEnd(kDistanceCodes[3]),
    DistanceCodeEnd(kDistanceCodes[4])};
constexpr int CodeBits(const TokenCode& code) { return int(code.selectorBits + code.extraBits); }
constexpr int kLongDistanceClassBits[kLongDistanceClasses] = {
    CodeBits(kDistanceCodes[0]), CodeBits(kDistanceCodes[1]), CodeBits(kDistanceCodes[2]),
    CodeBits(kDistanceCodes[3]), CodeBits(kDistanceCodes[4])};

constexpr int LongDistanceClass(uint32_t distance) {
  if (distance <= kLongDistanceClassEnd[0]) return 0;
  if (distance <= kLongDistanceClassEnd[1]) return 1;
  if (distance <= kLongDistanceClassEnd[2]) return 2;
  if (distance <= kLongDistanceClassEnd[3]) return 3;
  return 4;
}

// The length code: 3, 4, 5-6, 7-10, 11-26 take only control bits; 27-282
// take five zero bits and a data byte.
constexpr TokenSize LengthCodeSize(uint32_t length) {
  for (unsigned c = 0; c < kLengthByteCode; ++c) {
    if (length < kLengthCodes[c + 1].base) return {CodeBits(kLengthCodes[c]), 0};
  }
  return {int(kLengthCodes[kLengthByteCode].selectorBits), 1};
}

// Two selector bits, the distance code (with its byte) and the length code.
constexpr TokenSize LongMatchSize(uint32_t distance, uint32_t length) {
  const TokenSize lengthCode = LengthCodeSize(length);
  return {2 + kLongDistanceClassBits[LongDistanceClass(distance)] + lengthCode.bits,
          1 + lengthCode.bytes};
}

// Lengths 27-282 all take the same length code (five bits and a byte), so a
// long match of at least 27 bytes has the same size for every such length
// (the flat lengths; those below are the step lengths).
constexpr uint32_t kFirstFlatLength = kLengthCodes[kLengthByteCode].base;
constexpr TokenSize FlatLongMatchSize(int distanceClass) {
  return {
      2 + kLongDistanceClassBits[distanceClass] + int(kLengthCodes[kLengthByteCode].selectorBits),
      2};
}

// Size and price of a long match of each distance class and each length up
// to 26, by table: StepLongSizes(class)[length], StepLongPrices(class)[length].
constexpr uint32_t kLastStepLength = kFirstFlatLength - 1;
struct StepLongTable {
  TokenSize size[kLongDistanceClasses][kLastStepLength + 1];
  uint32_t price[kLongDistanceClasses][kLastStepLength + 1];
  constexpr StepLongTable() : size(), price() {
    for (int c = 0; c < kLongDistanceClasses; ++c) {
      for (uint32_t length = kMinLongLength; length <= kLastStepLength; ++length) {
        size[c][length] = LongMatchSize(kLongDistanceClassEnd[c], length);
        price[c][length] = Price(size[c][length]);
      }
    }
  }
};
// Made at compile time: the passes look prices up in their innermost loops.
inline constexpr StepLongTable kStepLong{};
inline const TokenSize* StepLongSizes(int distanceClass) { return kStepLong.size[distanceClass]; }
inline const uint32_t* StepLongPrices(int distanceClass) { return kStepLong.price[distanceClass]; }
