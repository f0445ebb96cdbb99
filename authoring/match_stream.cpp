#include "authoring/match_stream.h"

#include <system_error>

namespace {

constexpr size_t kThreadFrom = size_t(1) << 18;  // shorter inputs are not worth a thread
constexpr size_t kBlockPositions = size_t(1) << 14;
constexpr size_t kBlockMatches = size_t(1) << 18;
constexpr size_t kBlocksAhead = 4;

}  // namespace

MatchStream::MatchStream(const uint8_t* data, size_t size) : finder_(data, size), size_(size) {
  if (size < kThreadFrom) return;
  try {
    worker_ = std::thread(&MatchStream::Produce, this);
  } catch (const std::system_error&) {
    // No thread to be had: find the matches as they are asked for.
  }
}

MatchStream::~MatchStream() {
  if (!worker_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

void MatchStream::Produce() {
  for (size_t position = 0; position < size_;) {
    Block block;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return stopping_ || ready_.size() < kBlocksAhead; });
      if (stopping_) return;
      if (!spare_.empty()) {
        block = std::move(spare_.back());
        spare_.pop_back();
      }
    }
    // The finder writes straight into the block, which keeps room for as
    // many as one more position can bring (ends.back() tells how many are
    // there).
    block.matches.resize(kBlockMatches + MatchFinder::kMaxMatches);
    block.ends.clear();
    uint32_t filled = 0;
    while (position < size_ && block.ends.size() < kBlockPositions && filled < kBlockMatches) {
      filled += uint32_t(finder_.FindNext(block.matches.data() + filled));
      block.ends.push_back(filled);
      ++position;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ready_.push_back(std::move(block));
    }
    changed_.notify_all();
  }
}

size_t MatchStream::Next(const Match** matches) {
  if (!worker_.joinable()) {
    *matches = direct_;
    return finder_.FindNext(direct_);
  }
  if (next_ == current_.ends.size()) {
    std::unique_lock<std::mutex> lock(mutex_);
    spare_.push_back(std::move(current_));
    changed_.notify_all();
    changed_.wait(lock, [this] { return !ready_.empty(); });
    current_ = std::move(ready_.front());
    ready_.pop_front();
    next_ = 0;
  }
  const uint32_t begin = next_ == 0 ? 0 : current_.ends[next_ - 1];
  const uint32_t end = current_.ends[next_++];
  *matches = current_.matches.data() + begin;
  return end - begin;
}
