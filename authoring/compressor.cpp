#include "authoring/compressor.h"

#include <algorithm>
#include <deque>
#include <memory>

#include "authoring/match_stream.h"
#include "authoring/parse_states.h"
#include "authoring/token_writer.h"

// The parse is a shortest path over the positions of the input: every token
// the format can express is an edge from its first position to the one after
// it. For each length the match finder gives the nearest distance, which is
// also the cheapest, since the cost of a match never falls as its distance
// grows. Lengths up to 26 are relaxed one by one. Lengths 27-282 all cost
// the same (five bits and a byte), so one match there reaches a whole run of
// positions at one price; it becomes an offer that stays open over that run,
// which keeps the work per position independent of the match length.
//
// Measure. Minimising cost (control bits + 8 * data bytes) gives the
// smallest stream up to the rounding of the last control word: a parse of
// least cost C has a stream of (C + spare) / 8 bytes, spare being the
// unused bits of its last word (0..31), and no stream is shorter than C / 8.
// So it is the smallest when fewer than 8 bits are spare, and otherwise at
// most 3 bytes above the smallest. The first pass finds a parse of least
// cost, keeping one state per position. For inputs up to 16 KiB with 8 or
// more bits spare, a second pass keeps every state that can still win
// (parse_states.h), but only on the way to a stream a byte shorter: such a
// stream costs at most C + spare - 8, so a state is dropped when its cost
// plus the least cost from its position to the end (found backwards over
// the first pass's matches) exceeds that. The result is the smallest stream
// for inputs up to 16 KiB, and within 3 bytes of it beyond, where the second
// pass would cost about three times the first for a gain of a byte or two
// (and the archive pads every entry to 16 bytes anyway).
//
// Memory. Once the best paths into the last 282 positions all pass through
// one earlier state, everything up to that state is settled; it is written
// out and its bookkeeping dropped.

namespace {

constexpr size_t kLookAhead = kMaxLongLength + 1;
constexpr size_t kExactUpTo = size_t(1) << 14;
constexpr size_t kSettleInterval = size_t(1) << 12;
constexpr size_t kProgressInterval = size_t(1) << 16;
constexpr uint32_t kFirstOfferLength = 27;  // 27..282: code of five bits and a byte
constexpr uint32_t kLastDirectLength = kFirstOfferLength - 1;
constexpr TokenCost kOfferLengthCode{5, 1};
constexpr size_t kPendingSlots = 32;
static_assert(kPendingSlots > kFirstOfferLength, "an offer waits that many positions");

// A long match of 27 bytes or more at one distance from one state, open to
// every end position from source + 27 to `last`.
struct Offer {
  ParseState state;  // after the match; its length is filled in at the end position
  size_t source;
  size_t last;
};

// Whether `a` is at least as good as `b` at every end position of `b`.
bool Covers(const Offer& a, const Offer& b, bool exact) {
  if (a.last < b.last || a.source > b.source) return false;
  return exact ? NoWorse(a.state, b.state) : a.state.cost <= b.state.cost;
}

// Order of offers: cheaper first, then from the earlier source, then nearer.
// Where every state is kept, offers with different used bits cannot be
// ranked by bytes alone, so each count of used bits has a heap of its own.
template <bool kByBytes>
struct Costlier {
  bool operator()(const Offer& a, const Offer& b) const {
    const uint64_t ca = kByBytes ? FixedBytes(a.state) : a.state.cost;
    const uint64_t cb = kByBytes ? FixedBytes(b.state) : b.state.cost;
    if (ca != cb) return ca > cb;
    if (a.source != b.source) return a.source > b.source;
    return a.state.distance > b.state.distance;
  }
};

// The open offers. While only the cheapest state counts, offers that end
// no sooner than all before them (the usual case: a long repeat seen from
// one position after the other) form a queue of rising cost, in which each
// new offer drops the ones it beats from then on; the others go to a heap.
class OfferBook {
 public:
  explicit OfferBook(bool exact) : exact_(exact) {}

  void Open(const Offer& offer) {
    if (!exact_ && (queue_.empty() || offer.last >= queue_.back().last)) {
      while (!queue_.empty() && queue_.back().state.cost >= offer.state.cost) queue_.pop_back();
      queue_.push_back(offer);
      return;
    }
    const int index = exact_ ? offer.state.bits : 0;
    std::vector<Offer>& heap = heaps_[index];
    heap.push_back(offer);
    if (exact_) {
      std::push_heap(heap.begin(), heap.end(), Costlier<true>());
    } else {
      std::push_heap(heap.begin(), heap.end(), Costlier<false>());
    }
    used_ |= 1u << index;
    if (heap.size() > kTidyAt) Tidy(&heap, offer.source);
  }

  // Offers the best open offer of the queue and of each heap to the states
  // at `position` (where every state counts, those within `ceiling`).
  void Close(size_t position, uint64_t ceiling, StateSet* set) {
    while (!queue_.empty() && queue_.front().last < position) queue_.pop_front();
    if (!queue_.empty()) {
      ParseState s = queue_.front().state;
      s.length = uint16_t(position - queue_.front().source);
      set->OfferCheapest(s);
    }
    for (uint32_t mask = used_; mask != 0; mask &= mask - 1) {
      const int index = __builtin_ctz(mask);
      std::vector<Offer>& heap = heaps_[index];
      while (!heap.empty() && heap.front().last < position) {
        if (exact_) {
          std::pop_heap(heap.begin(), heap.end(), Costlier<true>());
        } else {
          std::pop_heap(heap.begin(), heap.end(), Costlier<false>());
        }
        heap.pop_back();
      }
      if (heap.empty()) {
        used_ &= ~(1u << index);
        continue;
      }
      ParseState s = heap.front().state;
      s.length = uint16_t(position - heap.front().source);
      if (exact_) {
        if (s.cost <= ceiling) set->Offer(s);
      } else {
        set->OfferCheapest(s);
      }
    }
  }

 private:
  static constexpr size_t kTidyAt = 4096;

  // Offers that expired below the top are only dropped when they reach it;
  // this clears them out when a heap has grown large.
  void Tidy(std::vector<Offer>* heap, size_t now) const {
    heap->erase(std::remove_if(heap->begin(), heap->end(),
                               [now](const Offer& o) { return o.last < now; }),
                heap->end());
    if (exact_) {
      std::make_heap(heap->begin(), heap->end(), Costlier<true>());
    } else {
      std::make_heap(heap->begin(), heap->end(), Costlier<false>());
    }
  }

  std::deque<Offer> queue_;
  std::vector<Offer> heaps_[32];
  uint32_t used_ = 0;
  bool exact_;
};

// The matches of every position, as the first pass found them.
struct MatchRecord {
  std::vector<Match> matches;
  std::vector<uint32_t> ends;  // position p has matches[ends[p - 1] .. ends[p])
};

// What the second pass keeps: at each position, states of at most this cost.
using Ceilings = std::vector<uint64_t>;

class Parser {
 public:
  // The first pass finds the matches (and keeps them when `record` is
  // given) and keeps the cheapest state of each position. The second takes
  // the recorded matches and keeps every state within the ceilings.
  Parser(const uint8_t* data, size_t size, CompressProgress progress, void* context,
         MatchRecord* record)
      : data_(data),
        size_(size),
        exact_(false),
        progress_(progress),
        context_(context),
        stream_(new MatchStream(data, size)),
        record_(record),
        book_(false) {}
  Parser(const uint8_t* data, size_t size, const MatchRecord* replay, const Ceilings* ceilings)
      : data_(data),
        size_(size),
        exact_(true),
        ceilings_(ceilings),
        progress_(nullptr),
        context_(nullptr),
        replay_(replay),
        book_(true) {}

  std::vector<uint8_t> Run();

  // After Run: the cost of the parse (with its end marker) and the unused
  // bits of the stream's last word.
  uint64_t Cost() const { return cost_; }
  uint32_t SpareBits() const { return spareBits_; }

 private:
  StateSet& SetAt(size_t position) { return sets_[position & mask_]; }
  void ClearUpTo(size_t position);
  template <bool kExact>
  void Relax(size_t position, const Match* matches, size_t count);
  void OpenOffers(size_t position, const Match* matches, size_t count);
  bool Settle(size_t position);
  void Emit(size_t position, uint32_t index);

  uint64_t Ceiling(size_t position) const { return (*ceilings_)[position]; }
  size_t NextMatches(const Match** matches);

  const uint8_t* data_;
  size_t size_;
  bool exact_;
  const Ceilings* ceilings_ = nullptr;
  uint64_t cost_ = 0;
  uint32_t spareBits_ = 0;
  CompressProgress progress_;
  void* context_;
  std::unique_ptr<MatchStream> stream_;
  MatchRecord* record_ = nullptr;
  const MatchRecord* replay_ = nullptr;
  size_t replayed_ = 0;
  TokenWriter writer_;

  // States of positions base_ .. cleared_, in a ring (position & mask_)
  // that grows when the paths take long to meet. Every path still of
  // interest begins at the one settled state at base_.
  std::vector<StateSet> sets_;
  size_t mask_ = 0;
  size_t base_ = 0;
  size_t cleared_ = 0;

  OfferBook book_;
  // Offers waiting for their first end position, by that position.
  std::vector<Offer> pending_[kPendingSlots];
  // Offers of the last few positions that a new offer may be no better than
  // (typically the same match, one position earlier).
  std::vector<Offer> recent_, nextRecent_;
};

std::vector<uint8_t> Parser::Run() {
  size_t ring = 2 * kSettleInterval;
  while (ring / 2 > size_ + kLookAhead) ring /= 2;
  sets_.assign(ring, StateSet{});
  mask_ = sets_.size() - 1;
  sets_[0].states[0].cost = 0;
  sets_[0].count = 1;

  size_t nextSettle = kSettleInterval;
  for (size_t position = 0;; ++position) {
    std::vector<Offer>& waiting = pending_[position % kPendingSlots];
    for (const Offer& o : waiting) book_.Open(o);
    waiting.clear();
    book_.Close(position, exact_ ? Ceiling(position) : 0, &SetAt(position));
    if (position == size_) break;

    if (position == nextSettle && !exact_) {
      Settle(position);
      nextSettle += kSettleInterval;
    }
    if (progress_ != nullptr && position % kProgressInterval == 0) {
      progress_(position, size_, context_);
    }
    ClearUpTo(std::min(size_, position + kLookAhead));

    const Match* matches;
    const size_t count = NextMatches(&matches);
    if (exact_) {
      Relax<true>(position, matches, count);
    } else {
      Relax<false>(position, matches, count);
    }
    OpenOffers(position, matches, count);
  }

  // The end marker after the best final state.
  const StateSet& last = SetAt(size_);
  uint32_t best = 0;
  for (uint32_t i = 1; i < last.count; ++i) {
    if (FinalSize(last.states[i]) < FinalSize(last.states[best])) best = i;
  }
  const ParseState end = Advance(last.states[best], kEndMarkerCost);
  cost_ = end.cost;
  spareBits_ = (32 - end.bits) % 32;
  Emit(size_, best);
  return writer_.Finish();
}

// Cost of a long match of each distance class and each length up to 26.
struct LongCostTable {
  TokenCost cost[kLongDistanceClasses][kLastDirectLength + 1];
  LongCostTable() : cost() {
    for (int c = 0; c < kLongDistanceClasses; ++c) {
      for (uint32_t length = kMinLongLength; length <= kLastDirectLength; ++length) {
        cost[c][length] = LongMatchCost(kLongDistanceClassEnd[c], length);
      }
    }
  }
};
const LongCostTable kLongCosts;

size_t Parser::NextMatches(const Match** matches) {
  if (replay_ != nullptr) {
    const uint32_t begin = replayed_ == 0 ? 0 : replay_->ends[replayed_ - 1];
    const uint32_t end = replay_->ends[replayed_++];
    *matches = replay_->matches.data() + begin;
    return end - begin;
  }
  const size_t count = stream_->Next(matches);
  if (record_ != nullptr) {
    record_->matches.insert(record_->matches.end(), *matches, *matches + count);
    record_->ends.push_back(uint32_t(record_->matches.size()));
  }
  return count;
}

// The least cost from every position to the end of the stream, end marker
// included, over the recorded matches.
std::vector<uint64_t> CostsToEnd(const MatchRecord& record, size_t size) {
  std::vector<uint64_t> toEnd(size + 1);
  toEnd[size] = uint64_t(kEndMarkerCost.bits + 8 * kEndMarkerCost.bytes);
  auto price = [](TokenCost c) { return uint64_t(c.bits + 8 * c.bytes); };
  for (size_t p = size; p-- > 0;) {
    uint64_t best = price(kLiteralCost) + toEnd[p + 1];
    const uint32_t begin = p == 0 ? 0 : record.ends[p - 1];
    const uint32_t end = record.ends[p];
    if (begin < end) {
      const uint32_t nearest = record.matches[begin].distance;
      if (nearest <= kMaxShortDistance) {
        best = std::min(best, price(ShortMatchCost(nearest)) + toEnd[p + 2]);
      }
      uint32_t length = kMinLongLength;
      for (uint32_t m = begin; m < end; ++m) {
        const int distanceClass = LongDistanceClass(record.matches[m].distance);
        const TokenCost* costs = kLongCosts.cost[distanceClass];
        for (; length <= record.matches[m].length && length <= kLastDirectLength; ++length) {
          best = std::min(best, price(costs[length]) + toEnd[p + length]);
        }
        const uint64_t longer = price(TokenCost{
            2 + kLongDistanceClassBits[distanceClass] + kOfferLengthCode.bits,
            1 + kOfferLengthCode.bytes});
        for (; length <= record.matches[m].length; ++length) {
          best = std::min(best, longer + toEnd[p + length]);
        }
      }
    }
    toEnd[p] = best;
  }
  return toEnd;
}

// Makes room for the states of the positions up to `last`, each empty.
void Parser::ClearUpTo(size_t last) {
  if (last - base_ >= sets_.size()) {
    std::vector<StateSet> larger(2 * sets_.size());
    const size_t largerMask = larger.size() - 1;
    for (size_t p = base_; p <= cleared_; ++p) larger[p & largerMask] = sets_[p & mask_];
    sets_ = std::move(larger);
    mask_ = largerMask;
  }
  for (; cleared_ < last; ++cleared_) sets_[(cleared_ + 1) & mask_] = StateSet{};
}

// Literal, short match and long matches up to 26 bytes, from every state.
template <bool kExact>
void Parser::Relax(size_t position, const Match* matches, size_t count) {
  const StateSet& set = SetAt(position);
  for (uint32_t i = 0; i < set.count; ++i) {
    const ParseState& from = set.states[i];
    auto add = [&](size_t length, TokenCost cost, uint32_t distance) {
      ParseState next = Advance(from, cost);
      next.from = uint8_t(i);
      next.length = uint16_t(length);
      next.distance = distance;
      if (!kExact) {
        SetAt(position + length).OfferCheapest(next);
      } else if (next.cost <= Ceiling(position + length)) {
        SetAt(position + length).Offer(next);
      }
    };
    add(1, kLiteralCost, 0);
    if (count == 0) continue;
    const uint32_t nearest = matches[0].distance;
    if (nearest <= kMaxShortDistance) add(2, ShortMatchCost(nearest), nearest);
    // Each match serves the lengths above the one before it.
    uint32_t length = kMinLongLength;
    for (size_t m = 0; m < count && length <= kLastDirectLength; ++m) {
      const uint32_t distance = matches[m].distance;
      const TokenCost* costs = kLongCosts.cost[LongDistanceClass(distance)];
      const uint32_t end = std::min(matches[m].length, kLastDirectLength);
      for (; length <= end; ++length) add(length, costs[length], distance);
    }
  }
}

// For each distance class, the longest match of that class opens one offer
// from every state: a match reaches all shorter lengths at its distance, so
// the offer covers the lengths from 27 up to the match's. An offer that an
// offer of the last positions covers (the same match seen one position
// earlier, from a state no worse) is left out.
void Parser::OpenOffers(size_t position, const Match* matches, size_t count) {
  nextRecent_.clear();
  if (count > 0 && matches[count - 1].length >= kFirstOfferLength) {
    const Match* longestOfClass[kLongDistanceClasses] = {};
    for (size_t m = 0; m < count; ++m) {
      if (matches[m].length >= kFirstOfferLength) {
        longestOfClass[LongDistanceClass(matches[m].distance)] = &matches[m];
      }
    }
    const StateSet& set = SetAt(position);
    for (const Match* match : longestOfClass) {
      if (match == nullptr) continue;
      const TokenCost cost{
          2 + kLongDistanceClassBits[LongDistanceClass(match->distance)] + kOfferLengthCode.bits,
          1 + kOfferLengthCode.bytes};
      for (uint32_t i = 0; i < set.count; ++i) {
        Offer o{};
        o.state = Advance(set.states[i], cost);
        o.state.from = uint8_t(i);
        o.state.distance = match->distance;
        o.source = position;
        o.last = position + std::min(match->length, kMaxLongLength);
        const Offer* cover = nullptr;
        for (const Offer& r : recent_) {
          if (Covers(r, o, exact_)) {
            cover = &r;
            break;
          }
        }
        if (cover != nullptr) {
          nextRecent_.push_back(*cover);
        } else {
          pending_[(position + kFirstOfferLength) % kPendingSlots].push_back(o);
          nextRecent_.push_back(o);
        }
      }
    }
  }
  std::swap(recent_, nextRecent_);
}

// Walks the paths back from every state that later tokens can start from
// (the last 282 positions) until they meet; writes the tokens up to the
// meeting state and forgets what lies before it. False when they meet only
// at the state settled before.
bool Parser::Settle(size_t position) {
  // Bit i of onPath[p - base_]: state i at p lies on one of those paths.
  std::vector<uint8_t> onPath(position + 1 - base_, 0);
  size_t marked = 0;
  for (size_t p = position + 2 - kLookAhead; p <= position; ++p) {
    onPath[p - base_] = uint8_t((1u << SetAt(p).count) - 1);
    marked += SetAt(p).count;
  }
  for (size_t p = position;; --p) {
    const uint32_t here = onPath[p - base_];
    if (here == 0) continue;
    if (marked == 1) {
      if (p == base_) return false;
      Emit(p, __builtin_ctz(here));
      base_ = p;
      return true;
    }
    for (uint32_t i = 0; i < 4; ++i) {
      if ((here >> i & 1) == 0) continue;
      const ParseState& s = SetAt(p).states[i];
      uint8_t& before = onPath[p - s.length - base_];
      --marked;
      if ((before >> s.from & 1) == 0) {
        before |= uint8_t(1u << s.from);
        ++marked;
      }
    }
  }
}

// Writes the tokens of the path from the settled state to (position, index).
void Parser::Emit(size_t position, uint32_t index) {
  std::vector<std::pair<size_t, const ParseState*>> path;
  while (position != base_) {
    const ParseState& s = SetAt(position).states[index];
    position -= s.length;
    index = s.from;
    path.emplace_back(position, &s);
  }
  for (auto it = path.rbegin(); it != path.rend(); ++it) {
    const ParseState& s = *it->second;
    if (s.length == 1) {
      writer_.Literal(data_[it->first]);
    } else if (s.length == 2) {
      writer_.ShortMatch(s.distance);
    } else {
      writer_.LongMatch(s.distance, s.length);
    }
  }
}

}  // namespace

std::vector<uint8_t> CompressStream(const uint8_t* data, size_t size, CompressProgress progress,
                                    void* context) {
  MatchRecord record;
  const bool exact = size <= kExactUpTo;
  Parser first(data, size, progress, context, exact ? &record : nullptr);
  std::vector<uint8_t> stream = first.Run();
  if (exact && first.SpareBits() >= 8) {
    // A stream a byte shorter costs at most this; a state can be on its way
    // only if its cost and the least cost from there to the end stay within.
    const uint64_t budget = first.Cost() + first.SpareBits() - 8;
    const std::vector<uint64_t> toEnd = CostsToEnd(record, size);
    Ceilings ceilings(size + 1);
    for (size_t p = 0; p <= size; ++p) ceilings[p] = toEnd[p] <= budget ? budget - toEnd[p] : 0;
    Parser second(data, size, &record, &ceilings);
    std::vector<uint8_t> shorter = second.Run();
    if (shorter.size() < stream.size()) stream = std::move(shorter);
  }
  if (progress != nullptr) progress(size, size, context);
  return stream;
}
