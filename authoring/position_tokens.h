// The tokens that can start at a position, given its matches (the match
// finder's list: longest last, each length at its nearest distance). Both
// passes of the parse and the exact pass's bounds go through them here, in
// the same order, so that they agree on every token and on which of equals
// comes first.
//
// Step tokens: a literal, a short match, and long matches of 3 to 26 bytes,
// whose price grows with the length, so each length is its own token.
//
// Offers: from 27 bytes on, a long match's price no longer depends on its
// length (token_costs.h), so the longest match of each distance class
// stands for all of them. It opens an offer: one price for every end
// position from 27 bytes on up to its own length, kept open over that run
// of positions instead of being tried length by length.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "authoring/match_finder.h"
#include "authoring/token_costs.h"

// The positions that tokens from one position reach, that position
// included.
constexpr size_t kLookAhead = kMaxLongLength + 1;
// An offer opened at position p waits for its first end position, p + 27,
// in list (p + 27) % kPendingLists of a ring of lists.
constexpr size_t kPendingLists = 32;
static_assert(kPendingLists > kFirstFlatLength, "an offer waits that many positions");

// The last end position of the offer that `match` opens at `position`.
inline size_t LastOfferEnd(size_t position, const Match& match) {
  return position + std::min<uint32_t>(match.length, kMaxLongLength);
}

struct StepToken {
  uint32_t length;
  uint32_t distance;  // 0 for a literal
  TokenSize size;
  uint32_t price;  // Price(size)
};

// Calls visit(const StepToken&) for the literal, the short match (when the
// nearest match is near enough) and each long match length up to 26, by
// rising length. Each match serves the lengths above the one before it.
template <typename Visit>
inline void ForEachStepToken(const Match* matches, size_t count, Visit&& visit) {
  visit(StepToken{1, 0, kLiteralSize, Price(kLiteralSize)});
  if (count == 0) return;
  const uint32_t nearest = matches[0].distance;
  if (nearest <= kMaxShortDistance) {
    const TokenSize size = ShortMatchSize(nearest);
    visit(StepToken{2, nearest, size, Price(size)});
  }
  uint32_t length = kMinLongLength;
  for (size_t m = 0; m < count && length <= kLastStepLength; ++m) {
    const uint32_t distance = matches[m].distance;
    const int distanceClass = LongDistanceClass(distance);
    const TokenSize* sizes = StepLongSizes(distanceClass);
    const uint32_t* prices = StepLongPrices(distanceClass);
    const uint32_t end = std::min<uint32_t>(matches[m].length, kLastStepLength);
    for (; length <= end; ++length)
      visit(StepToken{length, distance, sizes[length], prices[length]});
  }
}

// Calls visit(const Match&, int distanceClass) for the longest match of each
// distance class that is 27 bytes or longer: the matches that open offers,
// by rising class. The matches' distances rise with their lengths, so the
// matches of one class stand together and the last of them is its longest.
template <typename Visit>
inline void ForEachLongestOfClass(const Match* matches, size_t count, Visit&& visit) {
  if (count == 0 || matches[count - 1].length < kFirstFlatLength) return;
  const Match* longest = nullptr;  // of the class seen last
  int longestClass = 0;
  for (size_t m = 0; m < count; ++m) {
    if (matches[m].length < kFirstFlatLength) continue;
    const int distanceClass = LongDistanceClass(matches[m].distance);
    if (longest != nullptr && distanceClass != longestClass) visit(*longest, longestClass);
    longest = &matches[m];
    longestClass = distanceClass;
  }
  visit(*longest, longestClass);
}
