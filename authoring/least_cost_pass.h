// The compressor's first pass: a parse of least control bits + 8 * data
// bytes, one state per position. It finds the matches (on the match
// finder's thread), hands each position's matches and least cost to the
// exact pass through a ParseWindow, and settles its path as it goes: once
// the best paths into the last 282 positions all pass through one position,
// the path up to there is fixed, its tokens are appended to `path` and
// marked in the window, and `settled` is told how far that is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "authoring/compressor.h"
#include "authoring/match_stream.h"
#include "authoring/parse_window.h"
#include "authoring/position_tokens.h"

class LeastCostPass {
 public:
  LeastCostPass(const uint8_t* data, size_t size, ParseWindow* window, std::vector<uint32_t>* path);

  // Runs over the whole input. `settled(position)` is called each time the
  // path is fixed up to `position`, last with the input's size.
  void Run(const std::function<void(size_t)>& settled, CompressProgress progress, void* context);

 private:
  struct Offer {
    uint64_t cost;  // of reaching any of its end positions
    size_t source;
    size_t last;
    uint32_t distance;
  };
  struct Costlier {
    bool operator()(const Offer& a, const Offer& b) const {
      if (a.cost != b.cost) return a.cost > b.cost;
      if (a.source != b.source) return a.source > b.source;
      return a.distance > b.distance;
    }
  };

  void Grow(size_t last);
  void CloseOffers(size_t position);
  void Relax(size_t position, const Match* matches, size_t count);
  void OpenOffers(size_t position, const Match* matches, size_t count);
  bool Settle(size_t position);
  void Emit(size_t position);

  const uint8_t* data_;
  size_t size_;
  ParseWindow* window_;
  std::vector<uint32_t>* path_;
  MatchStream stream_;

  // Least cost and the token that reaches it, for positions settled_ ..
  // cleared_ in a ring (position & mask_) that grows when paths take long
  // to meet. The path is fixed up to settled_, where every path still of
  // interest begins.
  std::vector<uint64_t> cost_;
  std::vector<uint32_t> token_;
  size_t mask_ = 0;
  size_t settled_ = 0;
  size_t cleared_ = 0;

  // Open offers (position_tokens.h): those that end no sooner than all
  // before them in a queue of rising cost, the others in a heap; each waits
  // in `pending_` for its first end position.
  std::vector<Offer> queue_;
  size_t queueFront_ = 0;
  std::vector<Offer> heap_;
  std::vector<Offer> pending_[kPendingLists];
  Offer recent_[5];
  size_t recentCount_ = 0;
};
