#include "tools/updpack/packing/compress_entries.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "authoring/compressor.h"
#include "tools/updpack/commands/progress_bar.h"
#include "tools/updpack/commands/tool_messages.h"
#include "tools/updpack/packing/input_snapshot.h"

namespace {

constexpr unsigned kWorkers = 2;
// Memory that the entries in work may take together: the content, a stream
// of up to 9/8 of it and the compressor's own (a fixed budget, about 200
// MB at most); for an entry packed through scratch files, the pages of its
// copy read since they were last given back: the give-back interval, and a
// little around it that the match finder reads ahead and the exact pass
// behind (two such entries fit together). An entry past the budget is
// taken alone.
constexpr uint64_t kWorkBudget = uint64_t(640) << 20;
constexpr uint64_t kCompressorMemory = uint64_t(200) << 20;
constexpr uint64_t kCopyPagesMemory = InputSnapshot::kGiveBackEvery + (uint64_t(16) << 20);

uint64_t WorkMemory(uint64_t size, bool compress, const ScratchPlace& scratch) {
  const uint64_t compressor = compress ? kCompressorMemory : 0;
  if (size >= scratch.from) return compressor + kCopyPagesMemory;
  return compress ? size + size / 8 * 9 + compressor : size;
}

struct Work {
  const std::vector<std::string>* paths;
  const std::vector<uint64_t>* sizes;
  std::vector<PackedContent>* packed;  // each until it is taken
  std::vector<std::string> errors;     // per entry
  std::vector<uint64_t> memory;        // counted per entry until it is taken
  bool compress;
  const ScratchPlace* scratch;
  std::atomic<uint64_t> bytesDone{0};
  std::mutex mutex;
  std::condition_variable changed;
  size_t next = 0;                                     // under mutex
  size_t finished = 0;                                 // under mutex
  bool stopping = false;                               // under mutex: take no more entries
  std::vector<bool> done;                              // under mutex
  uint64_t inWork = 0;                                 // memory of the entries in work, under mutex
  std::vector<bool> working;                           // under mutex
  std::unique_ptr<std::atomic<uint64_t>[]> entryDone;  // bytes of each entry done
};

struct EntryProgress {
  Work* work;
  size_t index;
  size_t reported;
  InputSnapshot* input;  // of the entry in work
};

void CountBytes(size_t done, size_t, void* context) {
  auto* p = static_cast<EntryProgress*>(context);
  p->work->bytesDone += done - p->reported;
  p->work->entryDone[p->index] = done;
  if (p->input != nullptr) p->input->NoteProgress(done - p->reported);
  p->reported = done;
}

// The stream of an entry packed through scratch files: written into a
// scratch file, the pages of the input's copy behind it given back as it
// goes. The first failure to write is kept.
class ScratchSink final : public StreamSink {
 public:
  ScratchSink(ScratchFile* file, InputSnapshot* input) : file_(file), input_(input) {}
  const std::string& Error() const { return error_; }

  void InputWrittenUpTo(uint64_t position) override {
    input_->NoteProgress(position - position_);
    position_ = position;
  }

 protected:
  void Take(const uint8_t* bytes, size_t size) override {
    if (error_.empty()) file_->Append(bytes, size, &error_);
  }
  void Drop() override {
    if (error_.empty()) file_->Truncate(&error_);
    position_ = 0;
  }

 private:
  ScratchFile* file_;
  InputSnapshot* input_;
  uint64_t position_ = 0;  // of the input, written up to
  std::string error_;
};

// Compresses an entry that is packed through scratch files; true with
// `packed` filled when the stream is smaller than the content.
bool CompressThroughScratch(Work* work, size_t i, InputSnapshot* input, EntryProgress* progress,
                            bool* smaller) {
  PackedContent& packed = (*work->packed)[i];
  auto stream = std::make_unique<ScratchFile>();
  if (!stream->Create(work->scratch->folder, &work->errors[i])) return false;
  ScratchSink sink(stream.get(), input);
  CompressReport report;
  CompressStreamTo(input->data(), input->size(), &sink, CountBytes, progress, &report);
  if (!sink.Error().empty()) {
    work->errors[i] = sink.Error();
    return false;
  }
  *smaller = stream->size() < input->size();
  if (*smaller) {
    packed.storedFile = std::move(stream);
    packed.compressed = true;
    packed.leastCostOnly = report.leastCostOnly;
  }
  return true;
}

// "packing 3 of 40: 120.3/300.0 MB in/big.bin": the entry in work with
// the lowest index and its own bytes, so that a long single file shows
// them moving; "packed 40 of 40" once all are.
std::string Label(const Work& work, size_t finished) {
  const size_t count = work.paths->size();
  size_t current = 0;
  while (current < count && !work.working[current]) ++current;
  if (current == count) {
    return "packed " + std::to_string(finished) + " of " + std::to_string(count);
  }
  char figures[64];
  std::snprintf(figures, sizeof figures, ": %.1f/%.1f MB ",
                double(work.entryDone[current].load()) / 1e6, double((*work.sizes)[current]) / 1e6);
  return "packing " + std::to_string(current + 1) + " of " + std::to_string(count) + figures +
         Printable((*work.paths)[current]);
}

bool PackOne(Work* work, size_t i, EntryProgress* progress) {
  const std::string& path = (*work->paths)[i];
  PackedContent& packed = (*work->packed)[i];
  InputSnapshot input;
  // Refused by its size before reading (it may have grown since it was
  // found).
  if (!input.Take(path, UINT32_MAX, work->scratch->from, work->scratch->folder, &work->errors[i])) {
    return false;
  }
  // Progress through the input gives back the pages of its copy, while it
  // is there.
  struct Watching {
    EntryProgress* progress;
    ~Watching() { progress->input = nullptr; }
  } watching{progress};
  progress->input = &input;
  packed.info = input.info();
  packed.unpackedSize = uint32_t(input.size());
  if (work->compress && input.copied()) {
    bool smaller = false;
    if (!CompressThroughScratch(work, i, &input, progress, &smaller)) return false;
    if (smaller) return true;
  } else if (work->compress) {
    CompressReport report;
    std::vector<uint8_t> stream =
        CompressStream(input.data(), input.size(), CountBytes, progress, &report);
    if (stream.size() < input.size()) {
      packed.stored = std::move(stream);
      packed.compressed = true;
      packed.leastCostOnly = report.leastCostOnly;
      return true;
    }
  } else {
    CountBytes(input.size(), input.size(), progress);
  }
  if (input.copied()) {
    packed.storedFile = input.TakeCopy();
  } else {
    packed.stored = input.TakeBytes();
  }
  return true;
}

void PackSome(Work* work) {
  const size_t count = work->paths->size();
  for (;;) {
    size_t i;
    uint64_t memory;
    {
      std::unique_lock<std::mutex> lock(work->mutex);
      if (work->next == count) return;
      memory = WorkMemory((*work->sizes)[work->next], work->compress, *work->scratch);
      work->changed.wait(lock, [&] {
        return work->stopping || work->next == count || work->inWork == 0 ||
               work->inWork + memory <= kWorkBudget;
      });
      if (work->stopping || work->next == count) return;
      i = work->next++;
      memory = WorkMemory((*work->sizes)[i], work->compress, *work->scratch);
      work->inWork += memory;
      work->memory[i] = memory;
      work->working[i] = true;
    }
    EntryProgress progress{work, i, 0, nullptr};
    try {
      PackOne(work, i, &progress);
    } catch (const std::bad_alloc&) {
      (*work->packed)[i] = PackedContent();
      work->errors[i] = "out of memory while packing " + Quoted((*work->paths)[i]);
    }
    std::lock_guard<std::mutex> lock(work->mutex);
    work->bytesDone += (*work->sizes)[i] - std::min<uint64_t>(progress.reported, (*work->sizes)[i]);
    // What the entry keeps in memory is its stored form, if it is there.
    const uint64_t kept = std::min<uint64_t>(memory, (*work->packed)[i].stored.size());
    work->inWork -= memory - kept;
    work->memory[i] = kept;
    work->working[i] = false;
    work->done[i] = true;
    ++work->finished;
    work->changed.notify_all();
  }
}

}  // namespace

bool PackContents(const std::vector<std::string>& paths, const std::vector<uint64_t>& sizes,
                  bool compress, const ScratchPlace& scratch, const TakePacked& take,
                  std::string* error) {
  std::vector<PackedContent> packed(paths.size());
  Work work;
  work.paths = &paths;
  work.sizes = &sizes;
  work.packed = &packed;
  work.errors.assign(paths.size(), std::string());
  work.memory.assign(paths.size(), 0);
  work.working.assign(paths.size(), false);
  work.done.assign(paths.size(), false);
  work.entryDone.reset(new std::atomic<uint64_t>[paths.size()]());
  work.compress = compress;
  work.scratch = &scratch;
  uint64_t total = 0;
  for (uint64_t s : sizes) total += s;

  std::vector<std::thread> workers;
  for (unsigned w = 0; w < kWorkers && w < paths.size(); ++w) {
    try {
      workers.emplace_back(PackSome, &work);
    } catch (const std::system_error&) {
      break;  // fewer threads: the ones there (or this one) do the rest
    }
  }
  if (workers.empty()) {
    // No thread to be had: each entry packed and taken in turn here.
    for (size_t i = 0; i < paths.size(); ++i) {
      EntryProgress progress{&work, i, 0, nullptr};
      bool packedWell;
      try {
        packedWell = PackOne(&work, i, &progress);
      } catch (const std::bad_alloc&) {
        packedWell = false;
        work.errors[i] = "out of memory while packing " + Quoted(paths[i]);
      }
      if (!packedWell) {
        *error = work.errors[i];
        return false;
      }
      if (!take(i, std::move(packed[i]), error)) return false;
      packed[i] = PackedContent();
    }
    return true;
  }

  bool ok = true;
  {
    ProgressBar bar(total);
    size_t taken = 0;
    std::unique_lock<std::mutex> lock(work.mutex);
    while (ok && taken < paths.size()) {
      if (!work.done[taken]) {
        work.changed.wait_for(lock, std::chrono::milliseconds(100));
        bar.Update(work.bytesDone, Label(work, work.finished));
        continue;
      }
      // Taken outside the lock: writing it may take a while.
      const size_t i = taken++;
      lock.unlock();
      ok = work.errors[i].empty();
      if (!ok) {
        *error = work.errors[i];
      } else {
        ok = take(i, std::move(packed[i]), error);
      }
      packed[i] = PackedContent();
      lock.lock();
      work.inWork -= work.memory[i];
      if (!ok) work.stopping = true;
      work.changed.notify_all();
    }
  }
  for (std::thread& t : workers) t.join();
  return ok;
}
