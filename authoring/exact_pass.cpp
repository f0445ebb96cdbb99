#include "authoring/exact_pass.h"

#include <emmintrin.h>

#include <algorithm>
#include <climits>

#include "authoring/token_costs.h"
#include "authoring/path_writer.h"

namespace {

constexpr size_t kLookAhead = kMaxLongLength + 1;
constexpr size_t kPendingSlots = 32;
constexpr size_t kRetainInterval = size_t(1) << 12;
// The work (lanes merged, offers visited) allowed: a few per position, as
// text and code take about one, zeros and short periods more than twenty.
constexpr size_t kWorkPerPosition = 8;
constexpr size_t kWorkAllowance = size_t(1) << 20;

// A lane's token: the packed token (parse_window.h) with its control bits
// above it.
inline uint32_t LaneToken(uint32_t token, uint32_t bits) { return token | bits << 27; }
inline uint32_t LaneTokenBits(uint32_t laneToken) { return laneToken >> 27; }
inline uint32_t PackedToken(uint32_t laneToken) { return laneToken & ((1u << 27) - 1); }

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

// Lane r of `lanes` moved to lane r + shift (modulo 32): one load from the
// doubled lanes.
inline void Rotated(const uint8_t* doubled, uint32_t shift, __m128i* lo, __m128i* hi) {
  const uint8_t* from = doubled + 32 - (shift & 31);
  *lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
  *hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16));
}

// Adds `k` to every lane, kNone staying kNone (and sums past 254 becoming it).
inline void AddToLanes(uint64_t k, __m128i* lo, __m128i* hi) {
  const __m128i add = _mm_set1_epi8(char(uint8_t(k)));
  *lo = _mm_adds_epu8(*lo, add);
  *hi = _mm_adds_epu8(*hi, add);
}

// The lanes that something reaches, one bit each.
inline uint32_t LiveLanes(const uint8_t* cost) {
  const __m128i none = _mm_set1_epi8(char(ExactPass::kNone));
  const __m128i lo = _mm_load_si128(reinterpret_cast<const __m128i*>(cost));
  const __m128i hi = _mm_load_si128(reinterpret_cast<const __m128i*>(cost + 16));
  return ~(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(lo, none))) |
           uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(hi, none))) << 16);
}

}  // namespace

ExactPass::ExactPass(const uint8_t* data, size_t size) : data_(data), size_(size) {
  size_t ring = 2 * kRetainInterval;
  while (ring / 2 > size_ + kLookAhead) ring /= 2;
  slots_.resize(ring);
  lanes_.resize(ring);
  mask_ = ring - 1;
  Slot& start = slots_[0];
  uint8_t* startCost = lanes_[0].cost;
  std::fill(startCost, startCost + 64, kNone);
  startCost[0] = startCost[32] = 0;
  start.token[0] = 0;
  start.history[0] = 0;
  start.base = 0;
  start.pathToken = 0;
  start.onPath = true;
  start.least = 0;
  start.reached = true;
}

int64_t ExactPass::Ceiling(size_t position) const {
  const int64_t bound = position < boundsEnd_ ? bound_[position - boundsStart_]
                                             : int64_t(window_->Least(position));
  return bound + slack_;
}

// For each position p of [begin, end), bound_ = C - (a lower bound of the
// least cost from p to the end), C being the least cost of the whole
// parse: a state at p costing more than bound_ + slack cannot be on the way
// to a stream within the slack of the least cost. Past the chunk's end the
// least cost of reaching a position serves (the least cost from q to the
// end is at least C minus it); inside, the bound is carried back over every
// token, as the least cost to the end would be.
void ExactPass::BoundChunk(const ParseWindow& window, size_t begin, size_t end) {
  if (GaveUp()) return;
  auto value = [&](size_t q) -> int64_t {
    return q >= end ? int64_t(window.Least(q)) : bound_[q - boundsStart_];
  };
  // The best values of the positions from p + 27 on, for the flat-priced
  // lengths: nearer positions on top, each above only better ones.
  std::vector<std::pair<size_t, int64_t>> stack;
  size_t pushed = std::min(size_, end + kMaxLongLength - 1) + 1;
  for (size_t p = end; p-- > begin;) {
    int64_t best = value(p + 1) - int64_t(Price(kLiteralCost));
    const Match* matches;
    const size_t count = window.MatchesAt(p, &matches);
    if (count > 0) {
      const uint32_t nearest = matches[0].distance;
      if (nearest <= kMaxShortDistance) {
        best = std::max(best, value(p + 2) - int64_t(Price(ShortMatchCost(nearest))));
      }
      uint32_t length = kMinLongLength;
      for (size_t m = 0; m < count && length <= kLastStepLength; ++m) {
        const uint32_t* prices = StepLongPrices(LongDistanceClass(matches[m].distance));
        const uint32_t top = std::min<uint32_t>(matches[m].length, kLastStepLength);
        for (; length <= top; ++length) best = std::max(best, value(p + length) - int64_t(prices[length]));
      }
      if (matches[count - 1].length >= kFirstFlatLength) {
        while (pushed > p + kFirstFlatLength) {
          --pushed;
          const int64_t v = value(pushed);
          while (!stack.empty() && stack.back().second <= v) stack.pop_back();
          stack.emplace_back(pushed, v);
        }
        for (size_t m = 0; m < count; ++m) {
          if (matches[m].length < kFirstFlatLength) continue;
          const int c = LongDistanceClass(matches[m].distance);
          if (m + 1 < count && LongDistanceClass(matches[m + 1].distance) == c) continue;
          const size_t last = p + std::min<uint32_t>(matches[m].length, kMaxLongLength);
          const auto it = std::partition_point(
              stack.begin(), stack.end(),
              [last](const std::pair<size_t, int64_t>& e) { return e.first > last; });
          best = std::max(best, it->second - int64_t(Price(FlatLongMatchCost(c))));
        }
      }
    }
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
    if (SlotAt(position).least == kNone) continue;
    const Match* matches;
    const size_t count = window.MatchesAt(position, &matches);
    Relax(position, matches, count);
    OpenOffers(position, matches, count);
  }
  if (end == size_ && end > 0) Arrive(size_);
  done_ = end;
}

// Makes room for the positions up to `last`, each reached by nothing;
// false (given up) when that would take more than kMostPositions.
bool ExactPass::Grow(size_t last) {
  if (last - keep_ >= slots_.size()) {
    if (2 * slots_.size() > kMostPositions) {
      GiveUp();
      return false;
    }
    std::vector<Slot> larger(2 * slots_.size());
    std::vector<Lanes> largerLanes(larger.size());
    const size_t largerMask = larger.size() - 1;
    for (size_t p = keep_; p <= cleared_; ++p) {
      larger[p & largerMask] = slots_[p & mask_];
      largerLanes[p & largerMask] = lanes_[p & mask_];
    }
    slots_ = std::move(larger);
    lanes_ = std::move(largerLanes);
    mask_ = largerMask;
  }
  for (; cleared_ < last; ++cleared_) {
    Slot& s = slots_[(cleared_ + 1) & mask_];
    uint8_t* cost = lanes_[(cleared_ + 1) & mask_].cost;
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
  std::vector<Lanes>().swap(lanes_);
  offers_.clear();
  for (auto& waiting : pending_) waiting.clear();
  detours_ = DetourArena();
}

// Lanes (as cost + k + the target's base, k being at least 0) reach
// `target` by `token`: each lane within the target's ceiling (room + its
// base) that it improves takes them; on a tie the lane keeps what reached it
// first.
void ExactPass::Merge(uint8_t* cost, Slot* target, __m128i lo, __m128i hi, uint64_t k,
                      int64_t room, uint32_t token) {
  ++work_;
  if (k >= kNone || room < int64_t(k)) return;
  AddToLanes(k, &lo, &hi);
  if (room < kNone - 1) {
    // Lanes above the ceiling: max(lane, ceiling + 1) == lane.
    const __m128i above = _mm_set1_epi8(char(uint8_t(room + 1)));
    lo = _mm_or_si128(lo, _mm_cmpeq_epi8(_mm_max_epu8(lo, above), lo));
    hi = _mm_or_si128(hi, _mm_cmpeq_epi8(_mm_max_epu8(hi, above), hi));
  }
  const __m128i oldLo = _mm_load_si128(reinterpret_cast<const __m128i*>(cost));
  const __m128i oldHi = _mm_load_si128(reinterpret_cast<const __m128i*>(cost + 16));
  const __m128i minLo = _mm_min_epu8(lo, oldLo), minHi = _mm_min_epu8(hi, oldHi);
  uint32_t improved = ~(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(minLo, oldLo))) |
                        uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(minHi, oldHi))) << 16);
  if (improved == 0) return;
  target->reached = true;
  _mm_store_si128(reinterpret_cast<__m128i*>(cost), minLo);
  _mm_store_si128(reinterpret_cast<__m128i*>(cost + 16), minHi);
  for (; improved != 0; improved &= improved - 1) target->token[__builtin_ctz(improved)] = token;
}

// Everything that reaches `position` has arrived: the open offers compete
// for it, lanes above its ceiling or no better than a cheaper lane leave,
// and where the least-cost path passes, the lanes that left it rejoin it.
void ExactPass::Arrive(size_t position) {
  Slot& slot = SlotAt(position);
  uint8_t* const cost = CostAt(position);
  std::vector<Offer>& waiting = pending_[position % kPendingSlots];
  for (const Offer& o : waiting) OpenOffer(o);
  work_ += offers_.size() + waiting.size() * offers_.size();
  waiting.clear();
  const int64_t ceiling = Ceiling(position);
  slot.pathToken = position < size_ ? window_->PathToken(position) : 0;
  slot.onPath = position == size_ || slot.pathToken != 0;
  for (size_t i = 0; i < offers_.size();) {
    if (offers_[i].last < position) {
      offers_[i] = offers_.back();
      offers_.pop_back();
      continue;
    }
    const Offer& o = offers_[i];
    Merge(cost, &slot, _mm_load_si128(reinterpret_cast<const __m128i*>(o.cost)),
          _mm_load_si128(reinterpret_cast<const __m128i*>(o.cost + 16)), o.base - slot.base,
          ceiling - int64_t(slot.base),
          LaneToken(PackToken(uint32_t(position - o.source), o.distance), o.bits));
    ++i;
  }
  if (!slot.reached) {
    slot.least = kNone;
    return;
  }

  __m128i lo = _mm_load_si128(reinterpret_cast<const __m128i*>(cost));
  __m128i hi = _mm_load_si128(reinterpret_cast<const __m128i*>(cost + 16));
  const int64_t room = ceiling - int64_t(slot.base);
  if (room < 0) {
    lo = hi = _mm_set1_epi8(char(kNone));
  } else if (room < kNone - 1) {
    // Lanes above the ceiling (offers bring them): max(lane, room + 1) == lane.
    const __m128i above = _mm_set1_epi8(char(uint8_t(room + 1)));
    lo = _mm_or_si128(lo, _mm_cmpeq_epi8(_mm_max_epu8(lo, above), lo));
    hi = _mm_or_si128(hi, _mm_cmpeq_epi8(_mm_max_epu8(hi, above), hi));
  }
  // Only lanes that no other lane is as good as stay (exact_pass.h): a
  // lane with fewer used bits and no more bytes, or 4 bytes fewer, beats
  // it. With 8 * bytes = cost - r (plus the same for every lane), lane r
  // goes when the least of cost - r over the lanes before it is no more
  // than its own, or the least over all lanes is 32 less. Lanes stay within
  // 23 of the least cost there, so cost + 32 - r fits a byte.
  const __m128i offsetLo = _mm_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17);
  const __m128i offsetHi = _mm_setr_epi8(16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
  const __m128i bytesLo = _mm_adds_epu8(lo, offsetLo), bytesHi = _mm_adds_epu8(hi, offsetHi);
  const __m128i beforeLo = LeastBefore(bytesLo, _mm_set1_epi8(char(kNone)));
  const __m128i beforeHi = LeastBefore(bytesHi, _mm_set1_epi8(char(Least(bytesLo))));
  const __m128i far = _mm_set1_epi8(char(std::min(Least(_mm_min_epu8(bytesLo, bytesHi)) + 32, 255)));
  auto beaten = [&far](__m128i bytes, __m128i before) {
    const __m128i byBefore = _mm_cmpeq_epi8(_mm_max_epu8(before, bytes), bytes);
    const __m128i byFar = _mm_cmpeq_epi8(_mm_max_epu8(far, bytes), bytes);
    return _mm_or_si128(byBefore, byFar);
  };
  lo = _mm_or_si128(lo, beaten(bytesLo, beforeLo));
  hi = _mm_or_si128(hi, beaten(bytesHi, beforeHi));
  slot.least = uint8_t(Least(_mm_min_epu8(lo, hi)));
  _mm_store_si128(reinterpret_cast<__m128i*>(cost), lo);
  _mm_store_si128(reinterpret_cast<__m128i*>(cost + 16), hi);
  _mm_store_si128(reinterpret_cast<__m128i*>(cost + 32), lo);
  _mm_store_si128(reinterpret_cast<__m128i*>(cost + 48), hi);
  if (slot.onPath && slot.least != kNone) Rebase(position);
}

// An offer reaches its first end position: offers open before it that it
// beats from here on (they end no later and no lane of theirs is cheaper)
// are dropped.
void ExactPass::OpenOffer(const Offer& offer) {
  auto beats = [](const Offer& a, const Offer& b) {
    if (a.last < b.last) return false;
    for (int r = 0; r < 32; ++r) {
      if (b.cost[r] == kNone) continue;
      if (a.cost[r] == kNone || a.cost[r] + a.base > b.cost[r] + b.base) return false;
    }
    return true;
  };
  for (size_t i = 0; i < offers_.size();) {
    if (beats(offer, offers_[i])) {
      offers_[i] = offers_.back();
      offers_.pop_back();
    } else {
      ++i;
    }
  }
  offers_.push_back(offer);
}

// The position of the least-cost path where the path of lane `lane` at
// `position` last was on it, before `position`.
size_t ExactPass::LastPathPosition(size_t position, uint32_t lane) {
  do {
    const uint32_t token = SlotAt(position).token[lane];
    lane = (lane - LaneTokenBits(token)) & 31;
    position -= TokenLength(token);
  } while (!SlotAt(position).onPath);
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
      slot.history[r] = from.history[(r - LaneTokenBits(last)) & 31];
      continue;
    }
    walk_.clear();
    size_t at = position;
    uint32_t lane = r;
    do {
      const uint32_t token = SlotAt(at).token[lane];
      walk_.push_back(PackedToken(token));
      lane = (lane - LaneTokenBits(token)) & 31;
      at -= TokenLength(token);
    } while (!SlotAt(at).onPath);
    std::reverse(walk_.begin(), walk_.end());
    slot.history[r] = detours_.Add(SlotAt(at).history[lane], at, position, walk_);
  }
}

// Literal, short match and long matches up to 26 bytes.
void ExactPass::Relax(size_t position, const Match* matches, size_t count) {
  // What the loop reads is copied to locals first: the lanes are stored
  // through byte pointers, which as far as the compiler knows could alias
  // any member, and would have it read them again after every store.
  const Slot& slot = SlotAt(position);
  const uint64_t here = slot.base;
  const int64_t least = slot.least;
  const uint64_t* leastAfter = window_->LeastFrom(position);
  const int64_t* boundAfter = bound_.data() + (position - boundsStart_);
  const size_t bounded = boundsEnd_ - position;  // lengths whose end has a bound
  const int64_t slack = slack_;
  const uint8_t* const cost = CostAt(position);
  Slot* const slots = slots_.data();
  Lanes* const lanes = lanes_.data();
  const size_t mask = mask_;
  auto add = [&](uint32_t length, TokenCost price, uint32_t distance) {
    // Relative to the least cost of reaching the end of the token.
    const uint64_t targetBase = leastAfter[length];
    const int64_t bound = length < bounded ? boundAfter[length] : int64_t(targetBase);
    const int64_t room = bound + slack - int64_t(targetBase);
    const uint64_t k = here + Price(price) - targetBase;
    if (int64_t(k) + least > room) return;
    __m128i lo, hi;
    Rotated(cost, uint32_t(price.bits), &lo, &hi);
    const size_t target = (position + length) & mask;
    Merge(lanes[target].cost, &slots[target], lo, hi, k, room,
          LaneToken(PackToken(length, distance), uint32_t(price.bits)));
  };
  add(1, kLiteralCost, 0);
  if (count == 0) return;
  const uint32_t nearest = matches[0].distance;
  if (nearest <= kMaxShortDistance) add(2, ShortMatchCost(nearest), nearest);
  uint32_t length = kMinLongLength;
  for (size_t m = 0; m < count && length <= kLastStepLength; ++m) {
    const uint32_t distance = matches[m].distance;
    const TokenCost* costs = StepLongCosts(LongDistanceClass(distance));
    const uint32_t end = std::min<uint32_t>(matches[m].length, kLastStepLength);
    for (; length <= end; ++length) add(length, costs[length], distance);
  }
}

// For each distance class, the longest match of that class opens an offer
// over the lengths from 27 up to its own, unless an offer of the position
// before covers it (the same match seen one position earlier, no lane of it
// dearer).
void ExactPass::OpenOffers(size_t position, const Match* matches, size_t count) {
  nextRecent_.clear();
  const Slot& slot = SlotAt(position);
  if (count > 0 && matches[count - 1].length >= kFirstFlatLength) {
    for (size_t m = 0; m < count; ++m) {
      if (matches[m].length < kFirstFlatLength) continue;
      const int c = LongDistanceClass(matches[m].distance);
      if (m + 1 < count && LongDistanceClass(matches[m + 1].distance) == c) continue;
      const TokenCost cost = FlatLongMatchCost(c);
      Offer o;
      __m128i lo, hi;
      Rotated(CostAt(position), uint32_t(cost.bits), &lo, &hi);
      _mm_store_si128(reinterpret_cast<__m128i*>(o.cost), lo);
      _mm_store_si128(reinterpret_cast<__m128i*>(o.cost + 16), hi);
      o.base = slot.base + Price(cost);
      o.source = position;
      o.last = position + std::min<uint32_t>(matches[m].length, kMaxLongLength);
      o.distance = matches[m].distance;
      o.bits = uint32_t(cost.bits);
      const Offer* cover = nullptr;
      for (const Offer& r : recent_) {
        if (r.last < o.last) continue;
        bool covers = true;
        for (int lane = 0; lane < 32 && covers; ++lane) {
          if (o.cost[lane] == kNone) continue;
          covers = r.cost[lane] != kNone && r.cost[lane] + r.base <= o.cost[lane] + o.base;
        }
        if (covers) {
          cover = &r;
          break;
        }
      }
      if (cover != nullptr) {
        nextRecent_.push_back(*cover);
      } else {
        pending_[(position + kFirstFlatLength) % kPendingSlots].push_back(o);
        nextRecent_.push_back(o);
      }
    }
  }
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
      if (cost[r] != kNone) keep = std::min(keep, LastPathPosition(p, r));
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
        if (cost[r] != kNone) roots.push_back(&s.history[r]);
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
    const uint64_t cost = last.base + lastCost[r] + Price(kEndMarkerCost);
    const uint32_t bits = (r + uint32_t(kEndMarkerCost.bits)) % 32;
    const uint64_t bytes = (cost - bits) / 8 + (bits > 0 ? 4 : 0);
    if (bytes < bestSize) {
      bestSize = bytes;
      best = r;
    }
  }
  std::vector<const DetourArena::Detour*> detours;
  for (uint32_t id = last.history[best]; id != 0; id = detours_.At(id).parent) {
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
