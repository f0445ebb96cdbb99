#include "authoring/exact_pass.h"

#include <emmintrin.h>

#include <algorithm>
#include <climits>

#include "authoring/path_writer.h"
#include "authoring/position_tokens.h"
#include "authoring/token_costs.h"

namespace {

constexpr size_t kRetainInterval = size_t(1) << 12;
// The work (lanes merged, offers visited) allowed: a few per position, as
// text and code take about one, zeros and short periods more than twenty.
constexpr size_t kWorkPerPosition = 8;
constexpr size_t kWorkAllowance = size_t(1) << 20;

// A lane token: the packed token (parse_window.h) with its control bits
// above it.
inline uint32_t LaneToken(uint32_t token, uint32_t bits) { return token | bits << 27; }
inline uint32_t LaneTokenBits(uint32_t laneToken) { return laneToken >> 27; }
inline uint32_t PackedToken(uint32_t laneToken) { return laneToken & ((1u << 27) - 1); }
// The lane that `laneToken` left from to reach lane `lane`.
inline uint32_t LaneBefore(uint32_t lane, uint32_t laneToken) {
  return (lane - LaneTokenBits(laneToken)) & 31;
}

// The 32 lane costs of a position (or an offer) in two registers.
struct LaneVector {
  __m128i lo, hi;  // lanes 0-15, 16-31
};

inline LaneVector LoadLanes(const uint8_t* cost) {  // 16-byte aligned
  return {_mm_load_si128(reinterpret_cast<const __m128i*>(cost)),
          _mm_load_si128(reinterpret_cast<const __m128i*>(cost + 16))};
}
inline void StoreLanes(uint8_t* cost, LaneVector v) {  // 16-byte aligned
  _mm_store_si128(reinterpret_cast<__m128i*>(cost), v.lo);
  _mm_store_si128(reinterpret_cast<__m128i*>(cost + 16), v.hi);
}
inline LaneVector SplatLanes(uint8_t value) {
  const __m128i v = _mm_set1_epi8(char(value));
  return {v, v};
}
inline LaneVector MinLanes(LaneVector a, LaneVector b) {
  return {_mm_min_epu8(a.lo, b.lo), _mm_min_epu8(a.hi, b.hi)};
}
// One bit for each lane where a and b are equal.
inline uint32_t EqualLanes(LaneVector a, LaneVector b) {
  return uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(a.lo, b.lo))) |
         uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(a.hi, b.hi))) << 16;
}
// Bitwise or: a lane that is all ones in either (kNone, or a mask's "yes")
// is all ones.
inline LaneVector OrLanes(LaneVector a, LaneVector b) {
  return {_mm_or_si128(a.lo, b.lo), _mm_or_si128(a.hi, b.hi)};
}
// All ones in each lane of v that is at least `floor`'s.
inline LaneVector AtLeast(LaneVector v, LaneVector floor) {
  return {_mm_cmpeq_epi8(_mm_max_epu8(v.lo, floor.lo), v.lo),
          _mm_cmpeq_epi8(_mm_max_epu8(v.hi, floor.hi), v.hi)};
}

// The least of 16 lanes.
inline int Least(__m128i x) {
  x = _mm_min_epu8(x, _mm_srli_si128(x, 8));
  x = _mm_min_epu8(x, _mm_srli_si128(x, 4));
  x = _mm_min_epu8(x, _mm_srli_si128(x, 2));
  x = _mm_min_epu8(x, _mm_srli_si128(x, 1));
  return _mm_cvtsi128_si32(x) & 0xFF;
}

// For each of 16 lanes, the least of the lanes before it and of `carry`.
inline __m128i LeastBefore(__m128i x, __m128i carry) {
  const __m128i none = _mm_set1_epi8(char(0xFF));
  x = _mm_or_si128(_mm_slli_si128(x, 1), _mm_srli_si128(none, 15));  // lane i: x[i - 1]
  x = _mm_min_epu8(x, _mm_or_si128(_mm_slli_si128(x, 1), _mm_srli_si128(none, 15)));
  x = _mm_min_epu8(x, _mm_or_si128(_mm_slli_si128(x, 2), _mm_srli_si128(none, 14)));
  x = _mm_min_epu8(x, _mm_or_si128(_mm_slli_si128(x, 4), _mm_srli_si128(none, 12)));
  x = _mm_min_epu8(x, _mm_or_si128(_mm_slli_si128(x, 8), _mm_srli_si128(none, 8)));
  return _mm_min_epu8(x, carry);
}

// Lane r of the doubled lanes (LaneCosts) moved to lane r + shift (modulo
// 32): one load.
inline LaneVector Rotated(const uint8_t* doubled, uint32_t shift) {
  const uint8_t* from = doubled + 32 - (shift & 31);
  return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(from)),
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16))};
}

// Adds `k` to every lane, kNone staying kNone (and sums past 254 becoming it).
inline LaneVector AddToLanes(LaneVector v, uint64_t k) {
  const __m128i add = _mm_set1_epi8(char(uint8_t(k)));
  return {_mm_adds_epu8(v.lo, add), _mm_adds_epu8(v.hi, add)};
}

// The ceiling: lanes above `room` (0 or more) become kNone.
inline LaneVector CapLanes(LaneVector v, int64_t room) {
  if (room >= ExactPass::kNone - 1) return v;
  return OrLanes(v, AtLeast(v, SplatLanes(uint8_t(room + 1))));  // max(lane, room + 1) == lane
}

// The lanes that something reaches, one bit each.
inline uint32_t LiveLanes(const uint8_t* cost) {
  return ~EqualLanes(LoadLanes(cost), SplatLanes(ExactPass::kNone));
}

// Lanes (as cost + k over the target's base, k being at least 0) reach a
// position, whose lane costs are `cost` and lane tokens `tokens`, by
// `token`: each lane within `room` that they improve takes them; on a tie
// the lane keeps what reached it first. Whether any lane took them.
inline bool MergeLanes(LaneVector from, uint64_t k, int64_t room, uint32_t token, uint8_t* cost,
                       uint32_t* tokens) {
  if (k >= ExactPass::kNone || room < int64_t(k)) return false;
  const LaneVector old = LoadLanes(cost);
  const LaneVector merged = MinLanes(CapLanes(AddToLanes(from, k), room), old);
  uint32_t improved = ~EqualLanes(merged, old);
  if (improved == 0) return false;
  StoreLanes(cost, merged);
  for (; improved != 0; improved &= improved - 1) tokens[__builtin_ctz(improved)] = token;
  return true;
}

// Removes element i, the last taking its place.
template <typename T>
inline void SwapRemove(std::vector<T>* v, size_t i) {
  (*v)[i] = v->back();
  v->pop_back();
}

}  // namespace

ExactPass::ExactPass(const uint8_t* data, size_t size) : data_(data), size_(size) {
  size_t ring = 2 * kRetainInterval;
  while (ring / 2 > size_ + kLookAhead) ring /= 2;
  slots_.resize(ring);
  laneCosts_.resize(ring);
  mask_ = ring - 1;
  Slot& start = slots_[0];
  uint8_t* startCost = laneCosts_[0].cost;
  std::fill(startCost, startCost + 64, kNone);
  startCost[0] = startCost[32] = 0;
  start.token[0] = 0;
  start.detourList[0] = 0;
  start.base = 0;
  start.pathToken = 0;
  start.onPath = true;
  start.cheapest = 0;
  start.reached = true;
}

// The ceiling of `position` (exact_pass.h).
int64_t ExactPass::Ceiling(size_t position) const {
  const int64_t bound =
      position < boundsEnd_ ? bound_[position - boundsStart_] : int64_t(window_->Least(position));
  return bound + slack_;
}

// For each position p of [begin, end), bound_ = C - (a lower bound of the
// least cost from p to the end), C being the least cost of the whole
// parse: a lane at p costing more than bound_ + slack cannot be on the way
// to a stream within the slack of the least cost. Past the chunk's end the
// least cost of reaching a position serves (the least cost from q to the
// end is at least C minus it); inside, the bound is carried back over every
// token, as the least cost to the end would be.
void ExactPass::BoundChunk(const ParseWindow& window, size_t begin, size_t end) {
  if (GaveUp()) return;
  auto value = [&](size_t q) -> int64_t {
    return q >= end ? int64_t(window.Least(q)) : bound_[q - boundsStart_];
  };
  // The best values of the positions from p + 27 on, for the offers' end
  // positions: nearer positions on top, each above only better ones.
  std::vector<std::pair<size_t, int64_t>> stack;
  size_t pushed = std::min(size_, end + kMaxLongLength - 1) + 1;
  for (size_t p = end; p-- > begin;) {
    int64_t best = INT64_MIN;  // the literal is always there
    const Match* matches;
    const size_t count = window.MatchesAt(p, &matches);
    ForEachStepToken(matches, count, [&](const StepToken& t) {
      best = std::max(best, value(p + t.length) - int64_t(t.price));
    });
    ForEachLongestOfClass(matches, count, [&](const Match& match, int distanceClass) {
      while (pushed > p + kFirstFlatLength) {
        --pushed;
        const int64_t v = value(pushed);
        while (!stack.empty() && stack.back().second <= v) stack.pop_back();
        stack.emplace_back(pushed, v);
      }
      const size_t last = LastOfferEnd(p, match);
      const auto it = std::partition_point(
          stack.begin(), stack.end(),
          [last](const std::pair<size_t, int64_t>& e) { return e.first > last; });
      best = std::max(best, it->second - int64_t(Price(FlatLongMatchSize(distanceClass))));
    });
    bound_[p - boundsStart_] = best;
  }
}

void ExactPass::SpanBounds() {
  boundsStart_ = 0;
  bound_.resize(size_);
}

void ExactPass::Advance(const ParseWindow& window, size_t end, bool bounded) {
  if (GaveUp()) return Release();
  window_ = &window;
  if (!bounded) {
    bound_.erase(bound_.begin(), bound_.begin() + std::ptrdiff_t(done_ - boundsStart_));
    boundsStart_ = done_;
    bound_.resize(end - done_);
    BoundChunk(window, done_, end);
  }
  boundsEnd_ = end;
  for (size_t position = done_; position < end; ++position) {
    if (position > 0) Arrive(position);
    if (position % kRetainInterval == 0) Retain(position);
    if (!Grow(std::min(size_, position + kMaxLongLength)) || GaveUp() ||
        work_ > kWorkPerPosition * position + kWorkAllowance) {
      return Release();
    }
    if (SlotAt(position).cheapest == kNone) continue;
    const Match* matches;
    const size_t count = window.MatchesAt(position, &matches);
    Relax(position, matches, count);
    OpenOffers(position, matches, count);
  }
  if (end == size_ && end > 0) Arrive(size_);
  done_ = end;
}

// Extends the ring to the positions up to `last`, each reached by nothing;
// false (given up) when that would take more than kMostPositions.
bool ExactPass::Grow(size_t last) {
  if (last - keep_ >= slots_.size()) {
    if (2 * slots_.size() > kMostPositions) {
      GiveUp();
      return false;
    }
    std::vector<Slot> larger(2 * slots_.size());
    std::vector<LaneCosts> largerCosts(larger.size());
    const size_t largerMask = larger.size() - 1;
    for (size_t p = keep_; p <= cleared_; ++p) {
      larger[p & largerMask] = slots_[p & mask_];
      largerCosts[p & largerMask] = laneCosts_[p & mask_];
    }
    slots_ = std::move(larger);
    laneCosts_ = std::move(largerCosts);
    mask_ = largerMask;
  }
  for (; cleared_ < last; ++cleared_) {
    Slot& s = slots_[(cleared_ + 1) & mask_];
    uint8_t* cost = laneCosts_[(cleared_ + 1) & mask_].cost;
    std::fill(cost, cost + 32, kNone);
    s.base = window_->Least(cleared_ + 1);
    s.onPath = false;
    s.reached = false;
  }
  return true;
}

// After giving up: nothing of the lanes is wanted any more. (The bounds
// stay: another thread may still be writing them.)
void ExactPass::Release() {
  GiveUp();
  std::vector<Slot>().swap(slots_);
  std::vector<LaneCosts>().swap(laneCosts_);
  offers_.clear();
  for (auto& waiting : pending_) waiting.clear();
  detours_ = DetourArena();
}

// Everything that reaches `position` has arrived: the open offers compete
// for it, lanes above its ceiling or no better than a cheaper lane leave,
// and where the least-cost path passes, the lanes that left it rejoin it.
void ExactPass::Arrive(size_t position) {
  Slot& slot = SlotAt(position);
  uint8_t* const cost = CostAt(position);
  std::vector<Offer>& waiting = pending_[position % kPendingLists];
  for (const Offer& o : waiting) OpenOffer(o);
  work_ += offers_.size() + waiting.size() * offers_.size();
  waiting.clear();
  const int64_t room = Ceiling(position) - int64_t(slot.base);
  slot.pathToken = position < size_ ? window_->PathToken(position) : 0;
  slot.onPath = position == size_ || slot.pathToken != 0;
  for (size_t i = 0; i < offers_.size();) {
    if (offers_[i].last < position) {
      SwapRemove(&offers_, i);
      continue;
    }
    const Offer& o = offers_[i];
    ++work_;
    if (MergeLanes(LoadLanes(o.cost), o.base - slot.base, room,
                   LaneToken(PackToken(uint32_t(position - o.source), o.distance), o.bits), cost,
                   slot.token)) {
      slot.reached = true;
    }
    ++i;
  }
  if (!slot.reached) {
    slot.cheapest = kNone;
    return;
  }

  // Lanes above the ceiling (offers bring them) leave.
  const LaneVector capped = room < 0 ? SplatLanes(kNone) : CapLanes(LoadLanes(cost), room);
  // Only lanes that no other lane is as good as stay (exact_pass.h): a
  // lane with fewer used bits and no more bytes, or 4 bytes fewer, beats
  // it. With 8 * bytes = cost - r (plus the same for every lane), lane r
  // goes when the least of cost - r over the lanes before it is no more
  // than its own, or the least over all lanes is 32 less. Lanes stay within
  // 23 of the least cost there, so cost + 32 - r fits a byte.
  const __m128i offsetLo =
      _mm_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17);
  const __m128i offsetHi = _mm_setr_epi8(16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
  const LaneVector bytes = {_mm_adds_epu8(capped.lo, offsetLo), _mm_adds_epu8(capped.hi, offsetHi)};
  const LaneVector before = {LeastBefore(bytes.lo, _mm_set1_epi8(char(kNone))),
                             LeastBefore(bytes.hi, _mm_set1_epi8(char(Least(bytes.lo))))};
  const LaneVector far =
      SplatLanes(uint8_t(std::min(Least(_mm_min_epu8(bytes.lo, bytes.hi)) + 32, 255)));
  const LaneVector beaten = OrLanes(AtLeast(bytes, before), AtLeast(bytes, far));
  const LaneVector kept = OrLanes(capped, beaten);  // the beaten ones become kNone
  slot.cheapest = uint8_t(Least(_mm_min_epu8(kept.lo, kept.hi)));
  StoreLanes(cost, kept);
  StoreLanes(cost + 32, kept);
  if (slot.onPath && slot.cheapest != kNone) Rebase(position);
}

// Whether offer `a` covers offer `b`: it ends no sooner, and no lane of b
// is cheaper than a's (nor missing from a).
bool ExactPass::Covers(const Offer& a, const Offer& b) {
  if (a.last < b.last) return false;
  for (int r = 0; r < 32; ++r) {
    if (b.cost[r] == kNone) continue;
    if (a.cost[r] == kNone || a.cost[r] + a.base > b.cost[r] + b.base) return false;
  }
  return true;
}

// An offer reaches its first end position: offers open before it that it
// covers from here on are dropped.
void ExactPass::OpenOffer(const Offer& offer) {
  for (size_t i = 0; i < offers_.size();) {
    if (Covers(offer, offers_[i])) {
      SwapRemove(&offers_, i);
    } else {
      ++i;
    }
  }
  offers_.push_back(offer);
}

// Follows the path of lane `*lane` at `position` back to the last position
// of the least-cost path before `position`, handing each lane token on the
// way to `step` (the last first). Returns that position, and the lane
// there in `*lane`.
template <typename Step>
size_t ExactPass::WalkBack(size_t position, uint32_t* lane, Step&& step) {
  uint32_t r = *lane;
  do {
    const uint32_t token = SlotAt(position).token[r];
    step(token);
    r = LaneBefore(r, token);
    position -= TokenLength(token);
  } while (!SlotAt(position).onPath);
  *lane = r;
  return position;
}

// At a position of the least-cost path, each lane's path since the path's
// previous position becomes a detour unless it is the least-cost path's own
// token; from here on the lane counts as the least-cost path with its
// detours.
void ExactPass::Rebase(size_t position) {
  Slot& slot = SlotAt(position);
  for (uint32_t live = LiveLanes(CostAt(position)); live != 0; live &= live - 1) {
    const uint32_t r = uint32_t(__builtin_ctz(live));
    const uint32_t last = slot.token[r];
    const Slot& from = SlotAt(position - TokenLength(last));
    if (from.onPath && PackedToken(last) == from.pathToken) {
      slot.detourList[r] = from.detourList[LaneBefore(r, last)];
      continue;
    }
    walk_.clear();
    uint32_t lane = r;
    const size_t left =
        WalkBack(position, &lane, [this](uint32_t token) { walk_.push_back(PackedToken(token)); });
    std::reverse(walk_.begin(), walk_.end());
    slot.detourList[r] = detours_.Add(SlotAt(left).detourList[lane], left, position, walk_);
  }
}

// The step tokens (position_tokens.h) take the lanes to their end
// positions.
void ExactPass::Relax(size_t position, const Match* matches, size_t count) {
  // What the loop reads is copied to locals first: the lanes are stored
  // through byte pointers, which as far as the compiler knows could alias
  // any member, and would have it read them again after every store.
  const Slot& slot = SlotAt(position);
  const uint64_t here = slot.base;
  const int64_t cheapest = slot.cheapest;
  const uint64_t* leastAfter = window_->LeastFrom(position);
  const int64_t* boundAfter = bound_.data() + (position - boundsStart_);
  const size_t boundedLengths = boundsEnd_ - position;  // lengths whose end has a bound
  const int64_t slack = slack_;
  const uint8_t* const cost = CostAt(position);
  Slot* const slots = slots_.data();
  LaneCosts* const laneCosts = laneCosts_.data();
  const size_t mask = mask_;
  ForEachStepToken(matches, count, [&](const StepToken& t) {
    // Relative to the least cost of reaching the end of the token.
    const uint64_t targetBase = leastAfter[t.length];
    const int64_t bound = t.length < boundedLengths ? boundAfter[t.length] : int64_t(targetBase);
    const int64_t room = bound + slack - int64_t(targetBase);
    const uint64_t k = here + t.price - targetBase;
    if (int64_t(k) + cheapest > room) return;
    const uint32_t bits = uint32_t(t.size.bits);
    const size_t target = (position + t.length) & mask;
    ++work_;
    if (MergeLanes(Rotated(cost, bits), k, room, LaneToken(PackToken(t.length, t.distance), bits),
                   laneCosts[target].cost, slots[target].token)) {
      slots[target].reached = true;
    }
  });
}

// The longest match of each distance class opens an offer
// (position_tokens.h), unless an offer of the position before covers it
// (the same match seen one position earlier, no lane of it dearer).
void ExactPass::OpenOffers(size_t position, const Match* matches, size_t count) {
  nextRecent_.clear();
  const Slot& slot = SlotAt(position);
  ForEachLongestOfClass(matches, count, [&](const Match& match, int distanceClass) {
    const TokenSize size = FlatLongMatchSize(distanceClass);
    Offer o;
    StoreLanes(o.cost, Rotated(CostAt(position), uint32_t(size.bits)));
    o.base = slot.base + Price(size);
    o.source = position;
    o.last = LastOfferEnd(position, match);
    o.distance = match.distance;
    o.bits = uint32_t(size.bits);
    const Offer* cover = nullptr;
    for (const Offer& r : recent_) {
      if (Covers(r, o)) {
        cover = &r;
        break;
      }
    }
    if (cover != nullptr) {
      nextRecent_.push_back(*cover);
    } else {
      pending_[(position + kFirstFlatLength) % kPendingLists].push_back(o);
      nextRecent_.push_back(o);
    }
  });
  std::swap(recent_, nextRecent_);
}

// Lets the ring forget the positions that no lane's path back to the
// least-cost path passes any more, and the detour lists that no lane can
// end with.
void ExactPass::Retain(size_t position) {
  size_t keep = position;
  // Every lane still to be taken further (here and ahead, and in the
  // offers) needs the positions back to where its path last was on the
  // least-cost path.
  auto visit = [&](size_t p) {
    const Slot& s = SlotAt(p);
    if (p <= position && s.onPath) {
      keep = std::min(keep, p);
      return;
    }
    const uint8_t* cost = CostAt(p);
    for (uint32_t r = 0; r < 32; ++r) {
      if (cost[r] == kNone) continue;
      uint32_t lane = r;
      keep = std::min(keep, WalkBack(p, &lane, [](uint32_t) {}));
    }
  };
  for (size_t p = position; p <= cleared_; ++p) visit(p);
  for (const Offer& o : offers_) visit(o.source);
  for (const auto& waiting : pending_) {
    for (const Offer& o : waiting) visit(o.source);
  }
  keep_ = std::max(keep_, keep);
  if (detours_.WantsCollection()) {
    std::vector<uint32_t*> roots;
    for (size_t p = keep_; p <= position; ++p) {
      Slot& s = SlotAt(p);
      if (!s.onPath) continue;
      const uint8_t* cost = CostAt(p);
      for (uint32_t r = 0; r < 32; ++r) {
        if (cost[r] != kNone) roots.push_back(&s.detourList[r]);
      }
    }
    detours_.Collect(roots);
  }
}

void ExactPass::Finish(const std::vector<uint32_t>& path, StreamSink* sink) {
  // The lane whose stream, with the end marker and its last word counted
  // whole, is the smallest (the first of equals).
  const Slot& last = SlotAt(size_);
  const uint8_t* lastCost = CostAt(size_);
  uint64_t bestSize = UINT64_MAX;
  uint32_t best = 0;
  for (uint32_t r = 0; r < 32; ++r) {
    if (lastCost[r] == kNone) continue;
    const uint64_t cost = last.base + lastCost[r] + Price(kEndMarkerSize);
    const uint32_t bits = (r + uint32_t(kEndMarkerSize.bits)) % 32;
    const uint64_t bytes = (cost - bits) / 8 + (bits > 0 ? 4 : 0);
    if (bytes < bestSize) {
      bestSize = bytes;
      best = r;
    }
  }
  std::vector<const DetourArena::Detour*> detours;
  for (uint32_t id = last.detourList[best]; id != 0; id = detours_.At(id).parent) {
    detours.push_back(&detours_.At(id));
  }
  std::reverse(detours.begin(), detours.end());

  Write(path, detours, sink);
}

void ExactPass::Write(const std::vector<uint32_t>& path,
                      const std::vector<const DetourArena::Detour*>& detours,
                      StreamSink* sink) const {
  PathWriter writer(data_, sink);
  const auto write = [&](uint32_t token) { writer.Add(token); };
  size_t next = 0;    // the next token of the least-cost path
  size_t pathAt = 0;  // where it starts
  for (const DetourArena::Detour* d : detours) {
    for (; pathAt < d->from; pathAt += TokenLength(path[next++])) write(path[next]);
    const uint32_t* tokens = detours_.Tokens(*d);
    for (uint32_t t = 0; t < d->tokenCount; ++t) write(tokens[t]);
    for (; pathAt < d->to; pathAt += TokenLength(path[next++])) {
    }
  }
  for (; next < path.size(); ++next) write(path[next]);
  writer.Finish();
}
