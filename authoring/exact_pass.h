// The compressor's second pass: the smallest stream, rounding of the last
// control word included. It follows every state of the parse
// (parse_states.h) that can still be on the way to a stream smaller than
// the least-cost one, working through the input chunk by chunk behind the
// least-cost pass. See compressor.cpp for why it finds the smallest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "authoring/detour_arena.h"
#include "authoring/parse_states.h"
#include "authoring/parse_window.h"

class ExactPass {
 public:
  ExactPass(const uint8_t* data, size_t size);

  // Runs over the positions from where it stopped up to `end`, a position
  // of the least-cost path; the window must hold the least costs of the
  // positions up to end + 281 (or to the end of the input).
  void Advance(const ParseWindow& window, size_t end);
  size_t Done() const { return done_; }

  // After Advance has reached the input's size: the smallest stream, made
  // of the least-cost path's tokens (`path`) with the best state's detours.
  std::vector<uint8_t> Finish(const std::vector<uint32_t>& path);

 private:
  struct Offer {
    ParseState state;    // after the match; its length is filled in at the end position
    size_t source;
    size_t last;
    uint32_t pathToken;  // the least-cost path's token from `source` (0: none)
  };

  StateSet& SetAt(size_t position) { return sets_[position & mask_]; }
  int64_t Ceiling(size_t position) const;
  void ComputeBounds(const ParseWindow& window, size_t end);
  void Grow(size_t last);
  void Arrive(size_t position);
  void OpenOffer(const Offer& offer);
  void CloseOffers(size_t position);
  void Rebase(size_t position);
  void Relax(size_t position, uint32_t pathToken, const Match* matches, size_t count);
  void OpenOffers(size_t position, uint32_t pathToken, const Match* matches, size_t count);
  void Retain(size_t position);

  const uint8_t* data_;
  size_t size_;
  size_t done_ = 0;

  // The most a state may cost at each position of the current chunk
  // (bound_ + slack), and past its end the window's least costs.
  const ParseWindow* window_ = nullptr;
  size_t chunkStart_ = 0, chunkEnd_ = 0;
  std::vector<int64_t> bound_;

  // States of positions keep_ .. cleared_, in a ring (position & mask_)
  // that grows when a detour stays away from the least-cost path for long.
  std::vector<StateSet> sets_;
  size_t mask_ = 0;
  size_t keep_ = 0;
  size_t cleared_ = 0;

  // Open offers of long matches, one heap per count of used bits (among
  // states with the same used bits the cheaper is never worse).
  std::vector<Offer> heaps_[32];
  uint32_t used_ = 0;
  std::vector<Offer> pending_[32];
  std::vector<Offer> recent_, nextRecent_;

  DetourArena detours_;
  std::vector<uint32_t> walk_;  // scratch for the tokens of a detour
};
