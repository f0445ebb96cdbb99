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
  Match found[MatchFinder::kMaxMatches];
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
    block.matches.clear();
    block.ends.clear();
    while (position < size_ && block.ends.size() < kBlockPositions &&
           block.matches.size() < kBlockMatches) {
      const size_t count = finder_.FindNext(found);
      for (size_t i = 0; i < count; ++i) block.matches.push_back(found[i]);
      block.ends.push_back(uint32_t(block.matches.size()));
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
