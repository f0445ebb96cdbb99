#include "authoring/match_finder.h"

#include <cstring>

#include "authoring/token_costs.h"

namespace {

constexpr uint32_t kRingSize = 16384;  // more than the window, so a live node is never overwritten
constexpr uint32_t kRingMask = kRingSize - 1;
constexpr uint32_t kNone = 0;
constexpr int kBucketBits = 16;
constexpr uint32_t kRunCap = 1024;
constexpr size_t kPrefetchAhead = 4;  // longer runs count alike: beyond any match

static_assert(kRingSize > kMaxLongDistance, "the ring must hold the whole window");
static_assert(kRunCap > kMaxLongLength, "a capped run is longer than any match");
static_assert(MatchFinder::kRunScanStep / 2 >= kRunCap, "an open run is longer than the cap");

uint32_t Hash(uint32_t value) { return (value * 2654435761u) >> (32 - kBucketBits); }

// How far a and b agree, from `from` up to `limit`, eight bytes at a time
// (the host is little-endian, as the archive's readers assume).
uint32_t CommonLength(const uint8_t* a, const uint8_t* b, uint32_t from, uint32_t limit) {
  uint32_t length = from;
  while (length + 8 <= limit) {
    uint64_t x, y;
    std::memcpy(&x, a + length, 8);
    std::memcpy(&y, b + length, 8);
    if (x != y) return length + uint32_t(__builtin_ctzll(x ^ y) / 8);
    length += 8;
  }
  while (length < limit && a[length] == b[length]) ++length;
  return length;
}

}  // namespace

MatchFinder::MatchFinder(const uint8_t* data, size_t size, size_t renumberEvery, size_t runScanStep)
    : data_(data),
      size_(size),
      renumberEvery_(renumberEvery),
      runScanStep_(runScanStep),
      pairs_(65536, kNone),
      threeRoots_(size_t(1) << kBucketBits, kNone),
      runRoots_(size_t(1) << kBucketBits, kNone),
      links_(2 * kRingSize, kNone),
      runs_(kRingSize, 0),
      runHistory_(256) {}

// Keeps the stored 32-bit positions small on very long inputs: moves the
// base forward by whole turns of the ring, so that every position keeps its
// slot, and forgets what lies beyond the window.
void MatchFinder::Renumber() {
  const size_t shift = (position_ - base_) / kRingSize * kRingSize - kRingSize;
  auto move = [shift](uint32_t& v) { v = v > shift ? uint32_t(v - shift) : kNone; };
  for (uint32_t& v : pairs_) move(v);
  for (uint32_t& v : threeRoots_) move(v);
  for (uint32_t& v : runRoots_) move(v);
  for (uint32_t& v : links_) move(v);
  base_ += shift;
}

size_t MatchFinder::FindNext(Match* matches) {
  const size_t pos = position_++;
  if (size_ - pos < 2) return 0;
  if (pos - base_ >= renumberEvery_) Renumber();

  const uint8_t* cur = data_ + pos;
  // The tables are indexed by the data, so their slots are far apart: those
  // of a position a few ahead are fetched now, to be in the cache by then.
  if (size_ - pos > kPrefetchAhead + 2) {
    const uint8_t* ahead = cur + kPrefetchAhead;
    const uint32_t three = uint32_t(ahead[0]) | uint32_t(ahead[1]) << 8 | uint32_t(ahead[2]) << 16;
    __builtin_prefetch(&pairs_[three & 0xFFFF], 1);
    __builtin_prefetch(&threeRoots_[Hash(three)], 1);
  }
  MeasureRun(pos);
  const size_t run = runEnd_ - pos;
  const uint32_t self = uint32_t(pos - base_ + 1);
  runs_[self & kRingMask] = uint16_t(run < kRunCap ? run : kRunCap);
  const uint32_t limit = size_ - pos < kMaxLongLength ? uint32_t(size_ - pos) : kMaxLongLength;

  if (run == 1) {
    size_t count = 0;
    uint32_t best = 1;
    uint32_t& pair = pairs_[uint32_t(cur[0]) | uint32_t(cur[1]) << 8];
    if (pair != kNone && self - pair <= kMaxLongDistance) {
      matches[count++] = Match{2, uint16_t(self - pair)};
      best = 2;
    }
    pair = self;
    if (limit < 3) return count;
    const uint32_t three = uint32_t(cur[0]) | uint32_t(cur[1]) << 8 | uint32_t(cur[2]) << 16;
    return count + TreeMatches(&threeRoots_[Hash(three)], pos, limit, 1, best, matches + count);
  }

  const uint32_t top = run < limit ? uint32_t(run) : limit;
  const size_t count = RunMatches(pos, top, matches);
  if (run >= limit) return count;
  const uint32_t best = count > 0 ? matches[count - 1].length : 1;
  const uint32_t key = uint32_t(cur[0]) | uint32_t(run) << 8 | uint32_t(cur[run]) << 20;
  return count +
         TreeMatches(&runRoots_[Hash(key)], pos, limit, uint32_t(run), best, matches + count);
}

// Measures the run that `pos` lies in, a step at a time: at its start, and
// again while it may go on and fewer than half a step of it lie ahead. Run
// lengths are used only up to kRunCap, so a run still open (half a step or
// more ahead of every position) counts as long as it is. Its entry in the
// run history, made at its start, follows its end.
void MatchFinder::MeasureRun(size_t pos) {
  const bool starts = pos >= runEnd_;
  if (!starts && (!runOpen_ || runEnd_ - pos >= runScanStep_ / 2)) return;
  if (starts) runEnd_ = pos + 1;
  const uint8_t b = data_[pos];
  const size_t stop = size_ - runEnd_ > runScanStep_ ? runEnd_ + runScanStep_ : size_;
  while (runEnd_ < stop && data_[runEnd_] == b) ++runEnd_;
  runOpen_ = runEnd_ == stop && stop < size_;
  if (!starts) {
    Run& entry = runHistory_[b].back();
    entry.length += runEnd_ - entry.end;
    entry.end = runEnd_;
  }
}

// Lengths 2..top of a position that starts a run of at least two bytes.
size_t MatchFinder::RunMatches(size_t pos, uint32_t top, Match* matches) {
  const uint8_t b = data_[pos];
  if (pos > 0 && data_[pos - 1] == b) {
    matches[0] = Match{uint16_t(top), 1};
    return 1;
  }
  // The start of a run: its nearest earlier runs, then itself for the next.
  std::vector<Run>& history = runHistory_[b];
  size_t count = 0;
  size_t i = history.size();
  for (uint32_t length = 2; length <= top && i > 0;) {
    const Run& r = history[i - 1];
    const size_t distance = pos - r.end + length;
    if (distance > kMaxLongDistance) {
      // This run and all older ones are out of reach for good.
      history.erase(history.begin(), history.begin() + i);
      break;
    }
    if (r.length < length) {
      --i;
      continue;
    }
    matches[count++] = Match{uint16_t(length), uint16_t(distance)};
    ++length;
  }
  const size_t run = runEnd_ - pos;
  while (!history.empty() && history.back().length <= run) history.pop_back();
  history.push_back(Run{runEnd_, run});
  return count;
}

// Inserts the position into one tree and reports the matches longer than
// `best` met on the way.
size_t MatchFinder::TreeMatches(uint32_t* root, size_t pos, uint32_t limit, uint32_t run,
                                uint32_t best, Match* matches) {
  const uint8_t* cur = data_ + pos;
  const uint32_t self = uint32_t(pos - base_ + 1);
  uint32_t node = *root;
  *root = self;

  // The new position becomes the root: the walk splits the old tree into the
  // part ordered before it (hung on its smaller side) and the part after it.
  // Every node left on one side shares at least that side's length with the
  // new position.
  uint32_t* smallerLink = &links_[2 * (self & kRingMask)];
  uint32_t* largerLink = smallerLink + 1;
  uint32_t smallerLength = 0, largerLength = 0;
  size_t count = 0;

  for (;;) {
    const uint32_t distance = self - node;
    if (node == kNone || distance > kMaxLongDistance) {
      *smallerLink = kNone;
      *largerLink = kNone;
      break;
    }
    const uint8_t* candidate = cur - distance;
    uint32_t from = smallerLength < largerLength ? smallerLength : largerLength;
    // The same run of the same byte agrees at least over the run.
    if (from < run && runs_[node & kRingMask] == run && candidate[0] == cur[0]) from = run;
    const uint32_t length = CommonLength(candidate, cur, from, limit);
    uint32_t* nodeLinks = &links_[2 * (node & kRingMask)];
    if (length > best) {
      best = length;
      matches[count++] = Match{uint16_t(length), uint16_t(distance)};
    }
    if (length == limit) {
      // Equal as far as can be compared: the new position takes the old
      // node's place and its subtrees; the old node is never nearer.
      *smallerLink = nodeLinks[0];
      *largerLink = nodeLinks[1];
      break;
    }
    if (candidate[length] < cur[length]) {
      *smallerLink = node;
      smallerLink = &nodeLinks[1];
      node = *smallerLink;
      smallerLength = length;
    } else {
      *largerLink = node;
      largerLink = &nodeLinks[0];
      node = *largerLink;
      largerLength = length;
    }
  }
  return count;
}
