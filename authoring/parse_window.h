// What the least-cost pass hands to the exact pass for a stretch of the
// input: the matches of each position, the least cost of reaching it, and
// the token that the least-cost path takes from it. Positions before the
// exact pass's progress are dropped, so the window stays a few chunks long.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "authoring/match_finder.h"
#include "authoring/token_costs.h"

// A token packed in 32 bits: length (1 literal, 2 short, 3..282 long) in the
// low 9 bits, distance above (0 for a literal). Never 0.
inline uint32_t PackToken(uint32_t length, uint32_t distance) { return length | distance << 9; }
inline uint32_t TokenLength(uint32_t token) { return token & 511u; }
inline uint32_t TokenDistance(uint32_t token) { return token >> 9; }
// Control bits of a packed token.
inline uint32_t TokenBits(uint32_t token) {
  const uint32_t length = TokenLength(token), distance = TokenDistance(token);
  if (length == 1) return uint32_t(kLiteralSize.bits);
  if (length == 2) return uint32_t(ShortMatchSize(distance).bits);
  return uint32_t(LongMatchSize(distance, length).bits);
}

class ParseWindow {
 public:
  size_t Start() const { return start_; }
  // Positions whose least cost is known: Start() .. Known() - 1.
  size_t Known() const { return start_ + least_.size(); }

  // Space for `positions` positions and `matches` matches in all, ahead of
  // their arrival.
  void Reserve(size_t positions, size_t matches) {
    firsts_.reserve(positions);
    least_.reserve(positions);
    path_.reserve(positions);
    matches_.reserve(matches);
  }

  // Appends the next position's matches (called before its least cost).
  void AddMatches(const Match* matches, size_t count) {
    firsts_.push_back(uint32_t(matches_.size()));
    matches_.insert(matches_.end(), matches, matches + count);
  }
  void AddLeast(uint64_t cost) {
    least_.push_back(cost);
    path_.push_back(0);
  }
  void SetPathToken(size_t position, uint32_t token) { path_[position - start_] = token; }

  size_t MatchesAt(size_t position, const Match** matches) const {
    const size_t i = position - start_;
    const uint32_t begin = firsts_[i];
    const uint32_t end = i + 1 < firsts_.size() ? firsts_[i + 1] : uint32_t(matches_.size());
    *matches = matches_.data() + begin;
    return end - begin;
  }
  uint64_t Least(size_t position) const { return least_[position - start_]; }
  // The least costs from `position` on: [i] is that of position + i.
  const uint64_t* LeastFrom(size_t position) const { return least_.data() + (position - start_); }
  // The least-cost path's token from `position`; 0 when the path does not
  // start a token there.
  uint32_t PathToken(size_t position) const { return path_[position - start_]; }

  // Forgets the positions before `position`.
  void DropBefore(size_t position) {
    const size_t n = position - start_;
    if (n == 0) return;
    const uint32_t firstKept = n < firsts_.size() ? firsts_[n] : uint32_t(matches_.size());
    matches_.erase(matches_.begin(), matches_.begin() + firstKept);
    firsts_.erase(firsts_.begin(), firsts_.begin() + std::ptrdiff_t(std::min(n, firsts_.size())));
    for (uint32_t& f : firsts_) f -= firstKept;
    least_.erase(least_.begin(), least_.begin() + std::ptrdiff_t(n));
    path_.erase(path_.begin(), path_.begin() + std::ptrdiff_t(n));
    start_ = position;
  }

 private:
  size_t start_ = 0;
  std::vector<Match> matches_;
  std::vector<uint32_t> firsts_;  // per position: index of its first match
  std::vector<uint64_t> least_;
  std::vector<uint32_t> path_;
};
