// The match finder's results, position by position, computed ahead on a
// thread of its own for long inputs so that finding matches and parsing run
// side by side. The results are the same as the finder's, in the same order.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "authoring/match_finder.h"

class MatchStream {
 public:
  MatchStream(const uint8_t* data, size_t size);
  ~MatchStream();
  MatchStream(const MatchStream&) = delete;
  MatchStream& operator=(const MatchStream&) = delete;

  // The matches at the next position (as MatchFinder::FindNext gives them);
  // they stay valid until the next call. Returns their count.
  size_t Next(const Match** matches);

 private:
  // The matches of a run of positions: those of position i are
  // matches[ends[i - 1] .. ends[i]).
  struct Block {
    std::vector<Match> matches;
    std::vector<uint32_t> ends;
  };

  void Produce();

  MatchFinder finder_;
  size_t size_;
  Match direct_[MatchFinder::kMaxMatches];  // when there is no thread

  std::thread worker_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Block> ready_;   // filled, in order
  std::vector<Block> spare_;  // emptied, for reuse
  bool stopping_ = false;

  Block current_;  // the block being read
  size_t next_ = 0;
};
