// The compressor's second pass: the smallest stream, rounding of the last
// control word included. For every position it keeps the least cost of
// reaching it with each count of control bits modulo 32 (32 lanes, handled
// together), where that can still lead to a stream smaller than the
// least-cost one, working through the input chunk by chunk behind the
// least-cost pass. See compressor.cpp for why it finds the smallest.
//
// The size of a stream is 4 bytes per control word plus its data bytes, and
// control words are counted whole: 4 * ceil(control bits / 32) + data bytes.
// So what counts of a prefix of the input is the bytes fixed so far (whole
// words already filled plus data bytes) together with the bits already used
// of the word being filled. Of two lanes of a position, the one with fewer
// (or equal) bytes and fewer (or equal) used bits is never worse: whatever
// follows, the other ends with at least as many bytes. And a lane with 4 or
// more bytes more than another is never better, because the bits pending in
// a word can cost at most one more word. So at most four lanes of a position
// stay: bytes m, m+1, m+2, m+3, each with fewer used bits than the one
// before.
//
// The pass's words (cost and price: token_costs.h; offer: position_tokens.h;
// detour: detour_arena.h):
// - lane r of a position: its paths that have used r control bits of the
//   last word (r = control bits modulo 32); its cost is the least of theirs.
// - least-cost path: the path the least-cost pass settled on (P in
//   compressor.cpp); its cost is the least cost C.
// - base: the least cost of reaching a position (the least-cost pass's);
//   lane costs are kept as one byte over it, kNone for a lane nothing
//   reaches.
// - bound: C minus a lower bound of the least cost from a position to the
//   end (compressor.cpp). A path through the position costs at least the
//   lane's cost + C - bound.
// - slack: how much more than C a stream smaller than the least-cost one
//   may cost.
// - ceiling: bound + slack, the most a lane of a position may cost and
//   still lead to such a stream; room: the ceiling less the base, as a lane
//   byte is compared with it.
// - lane token: the token that last reached a lane, with its control bits
//   on top, so the lane it came from can be told.
// - rebase: at a position of the least-cost path, each lane's path since
//   the previous one becomes a detour, and the lane's path is then the
//   least-cost path with its list of detours.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "authoring/detour_arena.h"
#include "authoring/parse_window.h"
#include "authoring/position_tokens.h"
#include "authoring/stream_sink.h"
#include "authoring/uninitialized_allocator.h"

class ExactPass {
 public:
  ExactPass(const uint8_t* data, size_t size);

  // How much more than the least cost a stream smaller than the least-cost
  // one may cost (compressor.cpp); to be set before Advance.
  void SetSlack(int slack) { slack_ = slack; }

  // Runs over the positions from where it stopped up to `end`, a position
  // of the least-cost path; the window must hold the least costs of the
  // positions up to end + 281 (or to the end of the input).
  // `bounded`: BoundChunk has been run for all of them already.
  void Advance(const ParseWindow& window, size_t end, bool bounded = false);

  // For taking the input whole: space for the bounds of every position
  // (SpanBounds), then the bounds of the positions from `begin` to `end`
  // (a position of the least-cost path, or the input's size), chunk after
  // chunk, touching nothing of the others: another thread can work them out
  // ahead of Advance.
  void SpanBounds();
  void BoundChunk(const ParseWindow& window, size_t begin, size_t end);
  size_t Done() const { return done_; }

  // Lanes that stay off the least-cost path for long keep the positions
  // since they left it; past this many positions the pass gives up rather
  // than grow (zeros and short periods do that: equal lanes run side by
  // side, shifted). It also gives up when its work outgrows a few steps per
  // position (exact_pass.cpp). It then frees its ring and Advance does
  // nothing more.
  static constexpr size_t kMostPositions = size_t(1) << 15;
  bool GaveUp() const { return gaveUp_.load(std::memory_order_relaxed); }
  // Gives up from any thread (the caller's budget ran out): the pass stops
  // at its next position.
  void GiveUp() { gaveUp_.store(true, std::memory_order_relaxed); }

  // After Advance has reached the input's size: writes the smallest
  // stream, made of the least-cost path's tokens (`path`) with the best
  // lane's detours, into `sink`.
  void Finish(const std::vector<uint32_t>& path, StreamSink* sink);

  // Writes the stream of the least-cost path's tokens as they are.
  void WritePath(const std::vector<uint32_t>& path, StreamSink* sink) const {
    Write(path, {}, sink);
  }

  static constexpr uint8_t kNone = 0xFF;  // a lane that nothing reaches

 private:
  // One position. Lane r: the least cost of reaching it with r control bits
  // used of the last word, as cost[r] + base (kNone: none), and the lane
  // token that does. The costs live in a ring of their own (LaneCosts), one
  // cache line per position, as most tokens tried only read and compare
  // them. They are kept twice over (cost[32 + r] == cost[r]) once the
  // position is reached, so that any rotation of them is one load.
  struct alignas(64) LaneCosts {
    uint8_t cost[64];
  };
  struct Slot {
    uint32_t token[32];       // each lane's lane token
    uint64_t base;            // the least cost of reaching the position
    uint32_t pathToken;       // the least-cost path's token from here (0: none)
    bool onPath;              // the least-cost path passes here
    bool reached;             // some lane has taken a token to here
    uint8_t cheapest;         // the least of the lane costs (kNone: none)
    uint32_t detourList[32];  // at positions of the least-cost path: each
                              // lane's detours (the newest, 0: none)
  };
  // An offer (position_tokens.h) from `source`, open to every end position
  // from source + 27 to `last`: the lanes after the match, as cost + base.
  struct Offer {
    alignas(16) uint8_t cost[32];
    uint64_t base;
    size_t source;
    size_t last;
    uint32_t distance;
    uint32_t bits;  // control bits of the match
  };

  void Write(const std::vector<uint32_t>& path,
             const std::vector<const DetourArena::Detour*>& detours, StreamSink* sink) const;
  Slot& SlotAt(size_t position) { return slots_[position & mask_]; }
  uint8_t* CostAt(size_t position) { return laneCosts_[position & mask_].cost; }
  int64_t Ceiling(size_t position) const;
  bool Grow(size_t last);
  void Release();
  void Arrive(size_t position);
  static bool Covers(const Offer& a, const Offer& b);
  void OpenOffer(const Offer& offer);
  template <typename Step>
  size_t WalkBack(size_t position, uint32_t* lane, Step&& step);
  void Rebase(size_t position);
  void Relax(size_t position, const Match* matches, size_t count);
  void OpenOffers(size_t position, const Match* matches, size_t count);
  void Retain(size_t position);

  const uint8_t* data_;
  size_t size_;
  int slack_ = 0;
  size_t done_ = 0;
  std::atomic<bool> gaveUp_{false};
  size_t work_ = 0;  // lanes merged and offers visited, for the budget

  // The bound of each position from boundsStart_ to boundsEnd_ (its
  // ceiling less the slack); past it the least cost serves. Another thread
  // may write it (SpanBounds), so it is left unset when sized.
  const ParseWindow* window_ = nullptr;
  size_t boundsStart_ = 0, boundsEnd_ = 0;
  std::vector<int64_t, UninitializedAllocator<int64_t>> bound_;

  // Positions keep_ .. cleared_, in a ring (position & mask_) that grows
  // when a detour stays away from the least-cost path for long.
  std::vector<Slot> slots_;
  std::vector<LaneCosts> laneCosts_;
  size_t mask_ = 0;
  size_t keep_ = 0;
  size_t cleared_ = 0;

  std::vector<Offer> offers_;                  // open
  std::vector<Offer> pending_[kPendingLists];  // waiting for their first end position
  std::vector<Offer> recent_, nextRecent_;     // opened at the position before, and here

  DetourArena detours_;
  std::vector<uint32_t> walk_;  // scratch for the tokens of a detour
};
