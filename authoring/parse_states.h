// The states of the compressor's parse at one position of the input.
//
// The size of a stream is 4 bytes per control word plus its data bytes, and
// control words are counted whole: 4 * ceil(control bits / 32) + data bytes.
// Minimising control bits + 8 * data bytes alone would give the smallest
// stream only up to that rounding of the last word (it may miss by up to
// 3 bytes, which matters for short streams). So the parse tracks, for a
// prefix of the input, the bytes fixed so far (whole words already filled
// plus data bytes) together with the number of bits already used of the
// word being filled.
//
// Of two such states, the one with fewer (or equal) bytes and fewer (or
// equal) used bits is never worse: whatever follows, the other ends with at
// least as many bytes. And a state with 4 or more bytes more than another is
// never better, because the bits pending in a word can cost at most one more
// word (4 bytes). So at most four states per position matter: bytes m, m+1,
// m+2, m+3, each with fewer used bits than the one before.
#pragma once

#include <cstddef>
#include <cstdint>

#include "authoring/token_costs.h"

// Where a state's path has not left the least-cost path since its last detour.
constexpr size_t kOnPath = SIZE_MAX;

struct ParseState {
  uint64_t cost;      // control bits + 8 * data bytes so far
  uint8_t bits;       // control bits used of the word being filled (the bits so far modulo 32)
  uint8_t from;       // index of the state this one was reached from
  uint16_t length;    // the token that led here: 1 literal, 2 short match, 3..282 long match
  uint32_t distance;  // of that token's match; 0 for a literal
  uint32_t history;   // the detours of its path before `openFrom` (detour_arena.h; 0: none)
  size_t openFrom;    // where its path last left the least-cost path, or kOnPath
};

// Bytes fixed so far: whole control words filled plus data bytes.
inline uint64_t FixedBytes(const ParseState& s) { return (s.cost - s.bits) / 8; }

// The state after one more token.
inline ParseState Advance(const ParseState& s, TokenCost cost) {
  ParseState next{};
  next.cost = s.cost + uint64_t(cost.bits) + 8u * uint64_t(cost.bytes);
  next.bits = uint8_t((s.bits + cost.bits) % 32);
  return next;
}

// Size of the finished stream: the end marker, and the last word if begun.
inline uint64_t FinalSize(const ParseState& s) {
  const ParseState end = Advance(s, kEndMarkerCost);
  return FixedBytes(end) + (end.bits > 0 ? 4 : 0);
}

inline bool NoWorse(const ParseState& a, const ParseState& b) {
  const uint64_t bytesA = FixedBytes(a), bytesB = FixedBytes(b);
  return (bytesA <= bytesB && a.bits <= b.bits) || bytesA + 4 <= bytesB;
}

struct StateSet {
  ParseState states[4] = {};
  uint32_t count = 0;

  // Adds a candidate unless a state already held is no worse; drops the
  // states it beats. The first of equal states stays, so results are
  // deterministic.
  void Offer(const ParseState& candidate) {
    for (uint32_t i = 0; i < count; ++i) {
      if (NoWorse(states[i], candidate)) return;
    }
    uint32_t kept = 0;
    for (uint32_t i = 0; i < count; ++i) {
      if (!NoWorse(candidate, states[i])) states[kept++] = states[i];
    }
    states[kept] = candidate;
    count = kept + 1;
  }

  // Drops the states that cost more than `ceiling`.
  void Cap(uint64_t ceiling) {
    uint32_t kept = 0;
    for (uint32_t i = 0; i < count; ++i) {
      if (states[i].cost <= ceiling) states[kept++] = states[i];
    }
    count = kept;
  }
};
