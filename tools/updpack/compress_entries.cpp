#include "tools/updpack/compress_entries.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "authoring/compressor.h"
#include "tools/updpack/progress_bar.h"

namespace {

constexpr unsigned kWorkers = 2;

struct Work {
  const std::vector<std::vector<uint8_t>>* contents;
  std::vector<std::vector<uint8_t>>* streams;
  std::atomic<size_t> next{0};
  std::atomic<uint64_t> bytesDone{0};
  std::atomic<bool> outOfMemory{false};
  std::mutex mutex;
  std::condition_variable changed;
  size_t finished = 0;  // under mutex
};

struct EntryProgress {
  Work* work;
  size_t reported;
};

void CountBytes(size_t done, size_t, void* context) {
  auto* p = static_cast<EntryProgress*>(context);
  p->work->bytesDone += done - p->reported;
  p->reported = done;
}

void CompressSome(Work* work) {
  const size_t count = work->contents->size();
  for (size_t i; (i = work->next++) < count;) {
    const std::vector<uint8_t>& data = (*work->contents)[i];
    EntryProgress progress{work, 0};
    try {
      (*work->streams)[i] = CompressStream(data.data(), data.size(), CountBytes, &progress);
    } catch (const std::bad_alloc&) {
      work->outOfMemory = true;
    }
    std::lock_guard<std::mutex> lock(work->mutex);
    ++work->finished;
    work->changed.notify_all();
  }
}

}  // namespace

bool CompressEntries(const std::vector<std::vector<uint8_t>>& contents,
                     std::vector<std::vector<uint8_t>>* streams, std::string* error) {
  streams->assign(contents.size(), {});
  Work work;
  work.contents = &contents;
  work.streams = streams;
  uint64_t total = 0;
  for (const auto& c : contents) total += c.size();

  std::vector<std::thread> workers;
  for (unsigned w = 0; w < kWorkers && w < contents.size(); ++w) {
    try {
      workers.emplace_back(CompressSome, &work);
    } catch (const std::system_error&) {
      break;  // fewer threads: the ones there (or this one) do the rest
    }
  }
  if (workers.empty()) CompressSome(&work);

  ProgressBar bar(total);
  {
    std::unique_lock<std::mutex> lock(work.mutex);
    while (work.finished < contents.size()) {
      work.changed.wait_for(lock, std::chrono::milliseconds(100));
      bar.Update(work.bytesDone, "packing " + std::to_string(work.finished) + " of " +
                                     std::to_string(contents.size()) + " entries");
    }
  }
  for (std::thread& t : workers) t.join();
  if (work.outOfMemory) {
    *error = "out of memory while compressing";
    return false;
  }
  return true;
}
