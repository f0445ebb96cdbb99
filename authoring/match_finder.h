// Finds, position by position, the nearest earlier occurrence of every
// match length the stream format can use: for each length L from 2 to 282
// (cut at the end of the data) the smallest distance, up to 8192, at which
// the data repeats for at least L bytes.
//
// A position is seen as a run of r equal bytes b (r >= 1) followed by a
// different byte (or the end of the data). Another position repeats more
// than r of its bytes only if it starts with the same run of exactly r bytes
// b, so positions are kept in binary trees by their run and the bytes after
// it: by the first three bytes when r is 1, by (b, r, the next byte) when r
// is longer. Each tree holds its earlier positions ordered by the bytes that
// follow and heap-ordered by age (every new position becomes the root of its
// tree); walking down from the root towards the new position's place visits,
// for every length, the newest position that shares at least that many
// bytes. Positions more than 8192 back are cut off, and so is everything
// below them in the tree, since it is older still.
//
// Lengths up to r come without a tree: inside a run the previous byte
// repeats them all at distance 1; at the start of a run, the nearest earlier
// run of b that is at least L long gives length L at its last L bytes. The
// newest position of every two bytes gives length 2 when r is 1. So a long
// run costs no tree walks, which is where such trees would otherwise grow
// deep.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/token_format.h"

// Four bytes: the parse keeps every position's matches of inputs up to
// 4 MiB, so their size is most of its memory.
struct Match {
  uint16_t length;    // 2..282
  uint16_t distance;  // 1..8192
};

class MatchFinder {
 public:
  // Space a caller gives FindNext: one match per length at most.
  static constexpr size_t kMaxMatches = kMaxLongLength;

  // Positions are kept in 32 bits, counted from a base that moves forward
  // every `renumberEvery` positions (at least 32 KiB; tests make it small to
  // reach the renumbering on short inputs).
  static constexpr size_t kRenumberEvery = size_t(1) << 31;
  // A run is measured this many bytes ahead at a time, and further as the
  // positions near the end of what was measured, so that a long run is not
  // read to its end at once (at least 4 KiB; tests make it small to reach
  // the further steps on short inputs).
  static constexpr size_t kRunScanStep = size_t(1) << 20;
  MatchFinder(const uint8_t* data, size_t size, size_t renumberEvery = kRenumberEvery,
              size_t runScanStep = kRunScanStep);

  // The matches at the next position (0 first, then 1, ...), longest last;
  // for any length L, the distance of the first match of at least L bytes is
  // the nearest one. Returns their count.
  size_t FindNext(Match* matches);

 private:
  struct Run {
    size_t end;  // position after its last byte
    size_t length;
  };

  void MeasureRun(size_t pos);
  size_t RunMatches(size_t pos, uint32_t top, Match* matches);
  size_t TreeMatches(uint32_t* root, size_t pos, uint32_t limit, uint32_t run, uint32_t best,
                     Match* matches);
  void Renumber();

  const uint8_t* data_;
  size_t size_;
  size_t renumberEvery_;
  size_t runScanStep_;
  size_t position_ = 0;
  size_t base_ = 0;                   // positions are kept as position - base_ + 1; 0 is none
  std::vector<uint32_t> pairs_;       // newest position of each two bytes that differ
  std::vector<uint32_t> threeRoots_;  // trees of positions with r = 1, by three-byte hash
  std::vector<uint32_t> runRoots_;    // trees of positions with r > 1, by hash of (b, r, next)
  std::vector<uint32_t> links_;       // per position (modulo the ring): smaller, larger child
  std::vector<uint16_t> runs_;        // per position (modulo the ring): r, capped
  size_t runEnd_ = 0;                 // end of the run the current position lies in, as
  bool runOpen_ = false;              // measured so far: it may go on past runEnd_
  // Per byte value: earlier runs of at least two bytes, newest last, each
  // longer than every newer one (a shorter older run is never the nearest).
  std::vector<std::vector<Run>> runHistory_;
};
