#include "authoring/least_cost_pass.h"

#include <algorithm>

#include "authoring/token_costs.h"

namespace {

constexpr size_t kLookAhead = kMaxLongLength + 1;
constexpr size_t kSettleInterval = size_t(1) << 12;
constexpr size_t kProgressInterval = size_t(1) << 16;
constexpr size_t kPendingSlots = 32;
static_assert(kPendingSlots > kFirstFlatLength, "an offer waits that many positions");
constexpr uint64_t kUnreached = UINT64_MAX;

}  // namespace

LeastCostPass::LeastCostPass(const uint8_t* data, size_t size, ParseWindow* window,
                             std::vector<uint32_t>* path)
    : data_(data), size_(size), window_(window), path_(path), stream_(data, size) {}

void LeastCostPass::Run(const std::function<void(size_t)>& settled, CompressProgress progress,
                        void* context) {
  size_t ring = 2 * kSettleInterval;
  while (ring / 2 > size_ + kLookAhead) ring /= 2;
  cost_.assign(ring, kUnreached);
  token_.assign(ring, 0);
  mask_ = ring - 1;
  cost_[0] = 0;

  size_t nextSettle = kSettleInterval;
  for (size_t position = 0;; ++position) {
    CloseOffers(position);
    window_->AddLeast(cost_[position & mask_]);
    if (position == size_) break;

    if (position == nextSettle) {
      if (Settle(position)) settled(base_);
      nextSettle += kSettleInterval;
    }
    if (progress != nullptr && position % kProgressInterval == 0) {
      progress(position, size_, context);
    }
    Grow(std::min(size_, position + kLookAhead));

    const Match* matches;
    const size_t count = stream_.Next(&matches);
    window_->AddMatches(matches, count);
    Relax(position, matches, count);
    OpenOffers(position, matches, count);
  }
  window_->AddMatches(nullptr, 0);
  Emit(size_);
  base_ = size_;
  settled(size_);
}

// Makes room for the positions up to `last`, each unreached.
void LeastCostPass::Grow(size_t last) {
  if (last - base_ >= cost_.size()) {
    const size_t larger = 2 * cost_.size();
    std::vector<uint64_t> cost(larger, kUnreached);
    std::vector<uint32_t> token(larger, 0);
    for (size_t p = base_; p <= cleared_; ++p) {
      cost[p & (larger - 1)] = cost_[p & mask_];
      token[p & (larger - 1)] = token_[p & mask_];
    }
    cost_ = std::move(cost);
    token_ = std::move(token);
    mask_ = larger - 1;
  }
  for (; cleared_ < last; ++cleared_) cost_[(cleared_ + 1) & mask_] = kUnreached;
}

// The best offer still open at `position` competes for it.
void LeastCostPass::CloseOffers(size_t position) {
  std::vector<Offer>& waiting = pending_[position % kPendingSlots];
  for (const Offer& o : waiting) {
    if (queueFront_ == queue_.size() || o.last >= queue_.back().last) {
      while (queue_.size() > queueFront_ && queue_.back().cost >= o.cost) queue_.pop_back();
      queue_.push_back(o);
    } else {
      heap_.push_back(o);
      std::push_heap(heap_.begin(), heap_.end(), Costlier());
    }
  }
  waiting.clear();
  while (queueFront_ < queue_.size() && queue_[queueFront_].last < position) ++queueFront_;
  if (queueFront_ > 1024 && queueFront_ * 2 > queue_.size()) {
    queue_.erase(queue_.begin(), queue_.begin() + std::ptrdiff_t(queueFront_));
    queueFront_ = 0;
  }
  while (!heap_.empty() && heap_.front().last < position) {
    std::pop_heap(heap_.begin(), heap_.end(), Costlier());
    heap_.pop_back();
  }
  const Offer* best = queueFront_ < queue_.size() ? &queue_[queueFront_] : nullptr;
  if (!heap_.empty() && (best == nullptr || Costlier()(*best, heap_.front()))) {
    best = &heap_.front();
  }
  if (best != nullptr && best->cost < cost_[position & mask_]) {
    cost_[position & mask_] = best->cost;
    token_[position & mask_] = PackToken(uint32_t(position - best->source), best->distance);
  }
}

// Literal, short match and long matches up to 26 bytes.
void LeastCostPass::Relax(size_t position, const Match* matches, size_t count) {
  const uint64_t here = cost_[position & mask_];
  auto add = [&](size_t length, uint32_t price, uint32_t distance) {
    const size_t slot = (position + length) & mask_;
    if (here + price < cost_[slot]) {
      cost_[slot] = here + price;
      token_[slot] = PackToken(uint32_t(length), distance);
    }
  };
  add(1, Price(kLiteralCost), 0);
  if (count == 0) return;
  const uint32_t nearest = matches[0].distance;
  if (nearest <= kMaxShortDistance) add(2, Price(ShortMatchCost(nearest)), nearest);
  // Each match serves the lengths above the one before it.
  uint32_t length = kMinLongLength;
  for (size_t m = 0; m < count && length <= kLastStepLength; ++m) {
    const uint32_t distance = matches[m].distance;
    const uint32_t* prices = StepLongPrices(LongDistanceClass(distance));
    const uint32_t end = std::min<uint32_t>(matches[m].length, kLastStepLength);
    for (; length <= end; ++length) add(length, prices[length], distance);
  }
}

// The longest match of each distance class opens an offer over the lengths
// from 27 up to its own, unless an offer of the position before covers it
// (the same match seen one position earlier, at no higher cost).
void LeastCostPass::OpenOffers(size_t position, const Match* matches, size_t count) {
  if (count == 0 || matches[count - 1].length < kFirstFlatLength) {
    recentCount_ = 0;
    return;
  }
  const Match* longestOfClass[kLongDistanceClasses] = {};
  for (size_t m = 0; m < count; ++m) {
    if (matches[m].length >= kFirstFlatLength) {
      longestOfClass[LongDistanceClass(matches[m].distance)] = &matches[m];
    }
  }
  const uint64_t here = cost_[position & mask_];
  Offer recent[kLongDistanceClasses];
  size_t recentCount = 0;
  for (const Match* match : longestOfClass) {
    if (match == nullptr) continue;
    Offer o{};
    o.cost = here + Price(FlatLongMatchCost(LongDistanceClass(match->distance)));
    o.source = position;
    o.last = position + std::min<uint32_t>(match->length, kMaxLongLength);
    o.distance = match->distance;
    const Offer* cover = nullptr;
    for (size_t r = 0; r < recentCount_; ++r) {
      if (recent_[r].last >= o.last && recent_[r].cost <= o.cost) {
        cover = &recent_[r];
        break;
      }
    }
    if (cover != nullptr) {
      recent[recentCount++] = *cover;
    } else {
      pending_[(position + kFirstFlatLength) % kPendingSlots].push_back(o);
      recent[recentCount++] = o;
    }
  }
  std::copy(recent, recent + recentCount, recent_);
  recentCount_ = recentCount;
}

// Walks the paths back from every position that later tokens can start
// from (the last 282) until they meet; fixes the path up to the meeting
// position. False when they meet only at the position settled before.
bool LeastCostPass::Settle(size_t position) {
  std::vector<uint8_t> onPath(position + 1 - base_, 0);
  size_t marked = 0;
  for (size_t p = position + 2 - kLookAhead; p <= position; ++p) {
    onPath[p - base_] = 1;
    ++marked;
  }
  for (size_t p = position;; --p) {
    if (onPath[p - base_] == 0) continue;
    if (marked == 1) {
      if (p == base_) return false;
      Emit(p);
      base_ = p;
      return true;
    }
    uint8_t& before = onPath[p - TokenLength(token_[p & mask_]) - base_];
    --marked;
    if (before == 0) {
      before = 1;
      ++marked;
    }
  }
}

// Appends the tokens of the path from base_ to `position`.
void LeastCostPass::Emit(size_t position) {
  const size_t first = path_->size();
  while (position != base_) {
    const uint32_t token = token_[position & mask_];
    path_->push_back(token);
    position -= TokenLength(token);
  }
  std::reverse(path_->begin() + std::ptrdiff_t(first), path_->end());
  for (size_t i = first; i < path_->size(); ++i) {
    window_->SetPathToken(position, (*path_)[i]);
    position += TokenLength((*path_)[i]);
  }
}
