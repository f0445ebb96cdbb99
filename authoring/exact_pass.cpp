#include "authoring/exact_pass.h"

#include <algorithm>

#include "authoring/token_writer.h"

namespace {

constexpr size_t kLookAhead = kMaxLongLength + 1;
// A stream smaller than the least-cost one costs at most 31 - 8 more (see
// compressor.cpp), so no state further than that above the least cost
// through its position can be on its way.
constexpr int64_t kSlack = 31 - 8;
constexpr size_t kPendingSlots = 32;
constexpr size_t kRetainInterval = size_t(1) << 12;
constexpr size_t kTidyAt = 4096;

// Order of offers with the same used bits: cheaper first, then from the
// earlier source, then nearer.
struct Costlier {
  template <class Offer>
  bool operator()(const Offer& a, const Offer& b) const {
    if (a.state.cost != b.state.cost) return a.state.cost > b.state.cost;
    if (a.source != b.source) return a.source > b.source;
    return a.state.distance > b.state.distance;
  }
};

// Where a state reached by `token` from a state that left the least-cost
// path at `parentOpenFrom` (or stayed on it) at `position` has left it.
size_t OpenFrom(size_t parentOpenFrom, size_t position, uint32_t token, uint32_t pathToken) {
  if (parentOpenFrom != kOnPath) return parentOpenFrom;
  return token == pathToken ? kOnPath : position;
}

}  // namespace

ExactPass::ExactPass(const uint8_t* data, size_t size) : data_(data), size_(size) {
  size_t ring = 2 * kRetainInterval;
  while (ring / 2 > size_ + kLookAhead) ring /= 2;
  sets_.assign(ring, StateSet{});
  mask_ = ring - 1;
  ParseState start{};
  start.openFrom = kOnPath;
  sets_[0].states[0] = start;
  sets_[0].count = 1;
}

int64_t ExactPass::Ceiling(size_t position) const {
  const int64_t bound = position < chunkEnd_ ? bound_[position - chunkStart_]
                                             : int64_t(window_->Least(position));
  return bound + kSlack;
}

// For each position p of the chunk, bound_ = C - (a lower bound of the
// least cost from p to the end), C being the least cost of the whole
// parse: a state at p costing more than bound_ + slack cannot be on the way
// to a stream within the slack of the least cost. Past the chunk's end the
// least cost of reaching a position serves (the least cost from q to the
// end is at least C minus it); inside, the bound is carried back over every
// token, as the least cost to the end would be.
void ExactPass::ComputeBounds(const ParseWindow& window, size_t end) {
  chunkStart_ = done_;
  chunkEnd_ = end;
  bound_.assign(end - done_, 0);
  auto value = [&](size_t q) -> int64_t {
    return q >= end ? int64_t(window.Least(q)) : bound_[q - chunkStart_];
  };
  // The best values of the positions from p + 27 on, for the flat-priced
  // lengths: nearer positions on top, each above only better ones.
  std::vector<std::pair<size_t, int64_t>> stack;
  size_t pushed = std::min(size_, end + kLookAhead - 1) + 1;
  for (size_t p = end; p-- > done_;) {
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
        const uint32_t top = std::min(matches[m].length, kLastStepLength);
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
          const size_t reach = p + std::min(matches[m].length, kMaxLongLength);
          const auto it = std::partition_point(
              stack.begin(), stack.end(),
              [reach](const std::pair<size_t, int64_t>& e) { return e.first > reach; });
          best = std::max(best, it->second - int64_t(Price(FlatLongMatchCost(c))));
        }
      }
    }
    bound_[p - chunkStart_] = best;
  }
}

void ExactPass::Advance(const ParseWindow& window, size_t end) {
  window_ = &window;
  ComputeBounds(window, end);
  for (size_t position = done_; position < end; ++position) {
    Arrive(position);
    if (position % kRetainInterval == 0) Retain(position);
    Grow(std::min(size_, position + kLookAhead));
    const Match* matches;
    const size_t count = window.MatchesAt(position, &matches);
    const uint32_t pathToken = window.PathToken(position);
    Relax(position, pathToken, matches, count);
    OpenOffers(position, pathToken, matches, count);
  }
  if (end == size_) Arrive(size_);
  done_ = end;
}

// Everything that reaches `position` has arrived: the offers still open
// compete for it, states above its ceiling leave, and where the least-cost
// path passes, the states that left it rejoin it.
void ExactPass::Arrive(size_t position) {
  std::vector<Offer>& waiting = pending_[position % kPendingSlots];
  for (const Offer& o : waiting) OpenOffer(o);
  waiting.clear();
  CloseOffers(position);
  const int64_t ceiling = Ceiling(position);
  if (ceiling < 0) {
    SetAt(position).count = 0;
  } else {
    SetAt(position).Cap(uint64_t(ceiling));
  }
  if (position == size_ || window_->PathToken(position) != 0) Rebase(position);
}

// Makes room for the states of the positions up to `last`, each empty.
void ExactPass::Grow(size_t last) {
  if (last - keep_ >= sets_.size()) {
    std::vector<StateSet> larger(2 * sets_.size());
    const size_t largerMask = larger.size() - 1;
    for (size_t p = keep_; p <= cleared_; ++p) larger[p & largerMask] = sets_[p & mask_];
    sets_ = std::move(larger);
    mask_ = largerMask;
  }
  for (; cleared_ < last; ++cleared_) sets_[(cleared_ + 1) & mask_].count = 0;
}

void ExactPass::OpenOffer(const Offer& offer) {
  const int index = offer.state.bits;
  std::vector<Offer>& heap = heaps_[index];
  heap.push_back(offer);
  std::push_heap(heap.begin(), heap.end(), Costlier());
  used_ |= 1u << index;
  if (heap.size() > kTidyAt) {
    // Offers that expired below the top only leave when they reach it.
    const size_t now = offer.source;
    heap.erase(std::remove_if(heap.begin(), heap.end(),
                              [now](const Offer& o) { return o.last < now; }),
               heap.end());
    std::make_heap(heap.begin(), heap.end(), Costlier());
  }
}

// The cheapest open offer of each count of used bits competes for the
// position.
void ExactPass::CloseOffers(size_t position) {
  const int64_t ceiling = Ceiling(position);
  for (uint32_t mask = used_; mask != 0; mask &= mask - 1) {
    const int index = __builtin_ctz(mask);
    std::vector<Offer>& heap = heaps_[index];
    while (!heap.empty() && heap.front().last < position) {
      std::pop_heap(heap.begin(), heap.end(), Costlier());
      heap.pop_back();
    }
    if (heap.empty()) {
      used_ &= ~(1u << index);
      continue;
    }
    const Offer& o = heap.front();
    if (int64_t(o.state.cost) > ceiling) continue;
    ParseState s = o.state;
    s.length = uint16_t(position - o.source);
    s.openFrom = OpenFrom(o.state.openFrom, o.source, PackToken(s.length, s.distance), o.pathToken);
    SetAt(position).Offer(s);
  }
}

// At a position of the least-cost path, the states whose paths left it
// meet it again: their tokens since they left become a detour, and from
// here on they count as the least-cost path with their detours.
void ExactPass::Rebase(size_t position) {
  StateSet& set = SetAt(position);
  for (uint32_t i = 0; i < set.count; ++i) {
    ParseState& s = set.states[i];
    if (s.openFrom == kOnPath) continue;
    walk_.clear();
    size_t at = position;
    uint32_t index = i;
    while (at != s.openFrom) {
      const ParseState& t = SetAt(at).states[index];
      walk_.push_back(PackToken(t.length, t.distance));
      at -= t.length;
      index = t.from;
    }
    std::reverse(walk_.begin(), walk_.end());
    s.history = detours_.Add(s.history, s.openFrom, position, walk_);
    s.openFrom = kOnPath;
  }
}

// Literal, short match and long matches up to 26 bytes, from every state,
// where they stay within the ceiling.
void ExactPass::Relax(size_t position, uint32_t pathToken, const Match* matches, size_t count) {
  const StateSet& set = SetAt(position);
  for (uint32_t i = 0; i < set.count; ++i) {
    const ParseState& from = set.states[i];
    auto add = [&](size_t length, TokenCost cost, uint32_t distance) {
      const uint64_t price = from.cost + Price(cost);
      if (int64_t(price) > Ceiling(position + length)) return;
      ParseState next = ::Advance(from, cost);
      next.from = uint8_t(i);
      next.length = uint16_t(length);
      next.distance = distance;
      next.history = from.history;
      next.openFrom = OpenFrom(from.openFrom, position, PackToken(uint32_t(length), distance), pathToken);
      SetAt(position + length).Offer(next);
    };
    add(1, kLiteralCost, 0);
    if (count == 0) continue;
    const uint32_t nearest = matches[0].distance;
    if (nearest <= kMaxShortDistance) add(2, ShortMatchCost(nearest), nearest);
    uint32_t length = kMinLongLength;
    for (size_t m = 0; m < count && length <= kLastStepLength; ++m) {
      const uint32_t distance = matches[m].distance;
      const uint32_t end = std::min(matches[m].length, kLastStepLength);
      for (; length <= end; ++length) add(length, LongMatchCost(distance, length), distance);
    }
  }
}

// For each distance class, the longest match of that class opens one offer
// from every state over the lengths from 27 up to its own, unless an offer
// of the position before covers it (the same match seen one position
// earlier, from a state no worse).
void ExactPass::OpenOffers(size_t position, uint32_t pathToken, const Match* matches,
                           size_t count) {
  nextRecent_.clear();
  const StateSet& set = SetAt(position);
  if (set.count > 0 && count > 0 && matches[count - 1].length >= kFirstFlatLength) {
    for (size_t m = 0; m < count; ++m) {
      if (matches[m].length < kFirstFlatLength) continue;
      const int c = LongDistanceClass(matches[m].distance);
      if (m + 1 < count && LongDistanceClass(matches[m + 1].distance) == c) continue;
      for (uint32_t i = 0; i < set.count; ++i) {
        Offer o{};
        o.state = ::Advance(set.states[i], FlatLongMatchCost(c));
        o.state.from = uint8_t(i);
        o.state.distance = matches[m].distance;
        o.state.history = set.states[i].history;
        o.state.openFrom = set.states[i].openFrom;  // the parent's, until the length is known
        o.source = position;
        o.last = position + std::min(matches[m].length, kMaxLongLength);
        o.pathToken = pathToken;
        const Offer* cover = nullptr;
        for (const Offer& r : recent_) {
          if (r.last >= o.last && NoWorse(r.state, o.state)) {
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
  }
  std::swap(recent_, nextRecent_);
}

// Lets the ring forget the positions that no open detour needs any more,
// and the detour lists that no state can end with.
void ExactPass::Retain(size_t position) {
  size_t keep = position;
  std::vector<uint32_t*> roots;
  auto visit = [&](ParseState& s) {
    if (s.openFrom != kOnPath) keep = std::min(keep, s.openFrom);
    roots.push_back(&s.history);
  };
  for (size_t p = position; p <= cleared_; ++p) {
    StateSet& set = SetAt(p);
    for (uint32_t i = 0; i < set.count; ++i) visit(set.states[i]);
  }
  for (auto& heap : heaps_) {
    for (Offer& o : heap) visit(o.state);
  }
  for (auto& waiting : pending_) {
    for (Offer& o : waiting) visit(o.state);
  }
  for (Offer& o : recent_) visit(o.state);
  keep_ = std::max(keep_, keep);
  if (detours_.WantsCollection()) detours_.Collect(roots);
}

std::vector<uint8_t> ExactPass::Finish(const std::vector<uint32_t>& path) {
  const StateSet& last = SetAt(size_);
  uint32_t best = 0;
  for (uint32_t i = 1; i < last.count; ++i) {
    if (FinalSize(last.states[i]) < FinalSize(last.states[best])) best = i;
  }
  std::vector<const DetourArena::Detour*> detours;
  for (uint32_t id = last.states[best].history; id != 0; id = detours_.At(id).parent) {
    detours.push_back(&detours_.At(id));
  }
  std::reverse(detours.begin(), detours.end());

  TokenWriter writer;
  size_t position = 0;
  auto write = [&](uint32_t token) {
    const uint32_t length = TokenLength(token);
    if (length == 1) {
      writer.Literal(data_[position]);
    } else if (length == 2) {
      writer.ShortMatch(TokenDistance(token));
    } else {
      writer.LongMatch(TokenDistance(token), length);
    }
    position += length;
  };
  size_t next = 0;       // the next token of the least-cost path
  size_t pathAt = 0;     // where it starts
  for (const DetourArena::Detour* d : detours) {
    for (; pathAt < d->from; pathAt += TokenLength(path[next++])) write(path[next]);
    const uint32_t* tokens = detours_.Tokens(*d);
    for (uint32_t t = 0; t < d->tokenCount; ++t) write(tokens[t]);
    for (; pathAt < d->to; pathAt += TokenLength(path[next++])) {
    }
  }
  for (; next < path.size(); ++next) write(path[next]);
  return writer.Finish();
}
