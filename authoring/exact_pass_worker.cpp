#include "authoring/exact_pass_worker.h"

#include <system_error>
#include <utility>

namespace {

constexpr size_t kMostWaiting = 2;

}  // namespace

ExactPassWorker::ExactPassWorker(ExactPass* exact) : exact_(exact) {
  try {
    thread_ = std::thread(&ExactPassWorker::Work, this);
  } catch (const std::system_error&) {
    // No thread: Advance takes each stretch at once.
  }
}

ExactPassWorker::~ExactPassWorker() { Stop(); }

void ExactPassWorker::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    waiting_.clear();
  }
  changed_.notify_all();
  thread_.join();
}

void ExactPassWorker::Advance(const ParseWindow& window, size_t end) {
  if (!thread_.joinable()) {
    exact_->Advance(window, end);
    return;
  }
  Stretch stretch{window, end};
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return waiting_.size() < kMostWaiting || failure_ != nullptr; });
  if (failure_ != nullptr) return;  // Finish reports it
  waiting_.push_back(std::move(stretch));
  changed_.notify_all();
}

void ExactPassWorker::Finish() {
  if (thread_.joinable()) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return (waiting_.empty() && !working_) || failure_ != nullptr; });
  }
  if (failure_ != nullptr) std::rethrow_exception(failure_);
}

void ExactPassWorker::Work() {
  for (;;) {
    Stretch stretch;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return closing_ || !waiting_.empty(); });
      if (waiting_.empty() || failure_ != nullptr) return;
      stretch = std::move(waiting_.front());
      waiting_.pop_front();
      working_ = true;
    }
    try {
      exact_->Advance(stretch.window, stretch.end);
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      failure_ = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      working_ = false;
    }
    changed_.notify_all();
  }
}
