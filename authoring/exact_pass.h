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
#pragma once

#include <emmintrin.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "authoring/detour_arena.h"
#include "authoring/parse_window.h"
#include "authoring/stream_sink.h"

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

  // For taking the input whole: room for the ceilings of every position
  // (SpanBounds), then the ceilings of the positions from `begin` to `end`
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
  // used of the last word, as cost[r] + base (kNone: none), and the token
  // that does (with its control bits in the top 5 bits). The costs live in
  // a ring of their own (Lanes), one cache line per position, as most
  // tokens tried only read and compare them. They are kept twice over
  // (cost[32 + r] == cost[r]) once the position is reached, so that any
  // rotation of them is one load.
  struct alignas(64) Lanes {
    uint8_t cost[64];
  };
  struct Slot {
    uint32_t token[32];
    uint64_t base;         // the least cost of reaching the position
    uint32_t pathToken;    // the least-cost path's token from here (0: none)
    bool onPath;           // the least-cost path passes here
    bool reached;          // some lane has taken a token to here
    uint8_t least;         // the least of the lanes
    uint32_t history[32];  // at positions of the least-cost path: each lane's detours
  };
  // A long match of 27 bytes or more from one position, open to every end
  // position from source + 27 to `last`: lanes after it, as cost + base.
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
  uint8_t* CostAt(size_t position) { return lanes_[position & mask_].cost; }
  int64_t Ceiling(size_t position) const;
  bool Grow(size_t last);
  void Release();
  void Arrive(size_t position);
  void Merge(uint8_t* cost, Slot* target, __m128i lo, __m128i hi, uint64_t k, int64_t room,
             uint32_t token);
  void OpenOffer(const Offer& offer);
  void Rebase(size_t position);
  size_t LastPathPosition(size_t position, uint32_t lane);
  void Relax(size_t position, const Match* matches, size_t count);
  void OpenOffers(size_t position, const Match* matches, size_t count);
  void Retain(size_t position);

  const uint8_t* data_;
  size_t size_;
  int slack_ = 0;
  size_t done_ = 0;
  std::atomic<bool> gaveUp_{false};
  size_t work_ = 0;  // lanes merged and offers visited, for the budget

  // The most a lane may cost at each position from boundsStart_ to
  // boundsEnd_ (bound_ + slack), and past it the least cost + slack.
  const ParseWindow* window_ = nullptr;
  size_t boundsStart_ = 0, boundsEnd_ = 0;
  // Left unset when made (no pass over all of it on this thread): whoever
  // writes the bounds first touches the memory.
  template <typename T>
  struct Unset : std::allocator<T> {
    template <typename U>
    struct rebind {
      using other = Unset<U>;
    };
    template <typename U>
    void construct(U* p) {
      ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
      ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
  };
  std::vector<int64_t, Unset<int64_t>> bound_;

  // Positions keep_ .. cleared_, in a ring (position & mask_) that grows
  // when a detour stays away from the least-cost path for long.
  std::vector<Slot> slots_;
  std::vector<Lanes> lanes_;
  size_t mask_ = 0;
  size_t keep_ = 0;
  size_t cleared_ = 0;

  std::vector<Offer> offers_;       // open
  std::vector<Offer> pending_[32];  // waiting for their first end position
  std::vector<Offer> recent_, nextRecent_;

  DetourArena detours_;
  std::vector<uint32_t> walk_;  // scratch for the tokens of a detour
};
