#include "authoring/least_cost_pass.h"

#include <algorithm>

#include "authoring/position_tokens.h"
#include "authoring/token_costs.h"

namespace {

constexpr size_t kSettleInterval = size_t(1) << 12;
constexpr size_t kProgressInterval = size_t(1) << 16;
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
      if (Settle(position)) settled(settled_);
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
  settled_ = size_;
  settled(size_);
}

// Extends the ring to the positions up to `last`, each unreached.
void LeastCostPass::Grow(size_t last) {
  if (last - settled_ >= cost_.size()) {
    const size_t larger = 2 * cost_.size();
    std::vector<uint64_t> cost(larger, kUnreached);
    std::vector<uint32_t> token(larger, 0);
    for (size_t p = settled_; p <= cleared_; ++p) {
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
  std::vector<Offer>& waiting = pending_[position % kPendingLists];
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

// The step tokens (position_tokens.h) reach their end positions.
void LeastCostPass::Relax(size_t position, const Match* matches, size_t count) {
  const uint64_t here = cost_[position & mask_];
  ForEachStepToken(matches, count, [&](const StepToken& t) {
    const size_t target = (position + t.length) & mask_;
    if (here + t.price < cost_[target]) {
      cost_[target] = here + t.price;
      token_[target] = PackToken(t.length, t.distance);
    }
  });
}

// The longest match of each distance class opens an offer
// (position_tokens.h), unless an offer of the position before covers it
// (the same match seen one position earlier, at no higher cost).
void LeastCostPass::OpenOffers(size_t position, const Match* matches, size_t count) {
  const uint64_t here = cost_[position & mask_];
  Offer recent[kLongDistanceClasses];
  size_t recentCount = 0;
  ForEachLongestOfClass(matches, count, [&](const Match& match, int distanceClass) {
    Offer o{};
    o.cost = here + Price(FlatLongMatchSize(distanceClass));
    o.source = position;
    o.last = LastOfferEnd(position, match);
    o.distance = match.distance;
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
      pending_[(position + kFirstFlatLength) % kPendingLists].push_back(o);
      recent[recentCount++] = o;
    }
  });
  std::copy(recent, recent + recentCount, recent_);
  recentCount_ = recentCount;
}

// Walks the paths back from every position that later tokens can start
// from (the last 282) until they meet; fixes the path up to the meeting
// position. False when they meet only at the position settled before.
bool LeastCostPass::Settle(size_t position) {
  std::vector<uint8_t> onPath(position + 1 - settled_, 0);
  size_t marked = 0;
  for (size_t p = position + 2 - kLookAhead; p <= position; ++p) {
    onPath[p - settled_] = 1;
    ++marked;
  }
  for (size_t p = position;; --p) {
    if (onPath[p - settled_] == 0) continue;
    if (marked == 1) {
      if (p == settled_) return false;
      Emit(p);
      settled_ = p;
      return true;
    }
    uint8_t& before = onPath[p - TokenLength(token_[p & mask_]) - settled_];
    --marked;
    if (before == 0) {
      before = 1;
      ++marked;
    }
  }
}

// Appends the tokens of the path from settled_ to `position`.
void LeastCostPass::Emit(size_t position) {
  const size_t first = path_->size();
  while (position != settled_) {
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
