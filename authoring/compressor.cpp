#include "authoring/compressor.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "authoring/exact_pass.h"
#include "authoring/exact_pass_worker.h"
#include "authoring/least_cost_pass.h"
#include "authoring/parse_window.h"
#include "authoring/path_writer.h"

// The parse is a shortest path over the positions of the input: every token
// the format can express is an edge from its first position to the one after
// it. For each length the match finder gives the nearest distance, which is
// also the cheapest, since the cost of a match never falls as its distance
// grows. Lengths up to 26 are relaxed one by one. Lengths 27-282 all cost
// the same (five bits and a byte), so one match there reaches a whole run of
// positions at one price; it becomes an offer that stays open over that run,
// which keeps the work per position independent of the match length.
//
// Measure. A stream's size is (T + spare) / 8 bytes, T being its cost
// (control bits + 8 * data bytes) and spare the unused bits of its last
// word (0..31). The least-cost pass finds a parse P of least cost C, with
// spare s. No stream costs less than C, so a stream smaller than P's costs
// at most C + s - 8. If s < 8 there is none and P's stream is the smallest.
// Otherwise the exact pass follows every lane (exact_pass.h) whose cost,
// plus a lower bound of the least cost from its position to the end, stays
// within C + slack, and takes the smallest stream among them (P itself is
// among them). Every stream it leaves out costs more than C + slack, so it
// is at least ceil((C + slack + 1) / 8) bytes long: when the stream found
// is no longer than that, it is the smallest. With slack s - 8 that always
// holds. The pass's work grows with the slack, and streams tend to reach
// the least size that C allows, so it first runs with the slack that finds
// those, s mod 8 (C + s is a multiple of 8), and again with s - 8 only when
// what it found does not settle the question. Inputs up to 4 MiB are taken
// this way: the least-cost pass runs over all of them first and keeps their
// matches. Longer ones would need too much memory for that, so the exact
// pass works behind the least-cost pass chunk by chunk, before s is known,
// first with the largest slack that s mod 8 can call for, 7; when that does
// not settle it, both passes run again with s - 8.
//
// The bound to the end. For the whole input, B(p) = C - (least cost from p
// to the end), carried back over every token from the end. Chunk by chunk C
// is not known yet, but it cancels out: for a chunk ending at a position e
// of P, let B(q) = the least cost of reaching q for q in e .. e + 281, and
// B(p) = max over the tokens p -> q of B(q) - price for p < e. Every path
// from p to the end first crosses e at one of those q, and the least cost
// from q to the end is at least C - (least cost of reaching q), so the
// least cost from p to the end is at least C - B(p). A lane of cost c at p
// can thus be on its way only if c <= B(p) + slack: that is its ceiling,
// only looser (never wrong) near the chunk's end, where lanes that cross
// into the next chunk are checked again against that chunk's ceilings when
// they arrive. Positions that no lane within its ceiling reaches cost next
// to nothing.
//
// Memory. The least-cost pass keeps one state per position; once the best
// paths into the last 282 positions all pass through one position, its path
// is fixed up to there. The exact pass cannot do that: lanes with the same
// cost but a different split into bits and bytes are never worse than one
// another, may run side by side to the end of the input, and only the last
// word decides between them. But such paths differ from P only in short
// stretches, so a lane's path is kept as P plus a list of detours (each a
// run of tokens from one position of P to a later one, detour_arena.h):
// when a lane reaches a position of P, the tokens since it left P become a
// detour. The exact pass keeps the positions back to where the oldest
// open detour began, the window of matches and costs between the two passes
// stays a chunk or two long on inputs past 4 MiB, and the lists that no
// lane can end with are collected. What grows with the input is P's tokens
// (4 bytes each, at most one per byte of the stream) and the stream itself.
//
// Budget. On some inputs lanes of equal cost run beside the least-cost path,
// shifted, and never meet it (zeros, short periods): the exact pass would
// have to keep every position since they left. It gives up instead once
// its ring would hold more than ExactPass::kMostPositions positions, and
// the least-cost path's stream is taken: (C + s) / 8 bytes against at
// least C / 8 for any stream, s < 32, so at most 3 bytes longer than the
// smallest. Past kMostPathTokens tokens of the path the same holds for the
// path itself: the exact pass gives up and the path is written out as it
// settles, so what grows with the input is the stream alone.

namespace {

// The exact pass runs on stretches of at least this many positions.
constexpr size_t kExactChunk = size_t(1) << 16;
// Inputs up to this size are taken whole by the least-cost pass first (its
// window of matches and costs then holds them all), which gives the slack
// exactly.
constexpr size_t kWholeUpTo = size_t(1) << 22;
// Without knowing the least-cost stream's spare bits, the most that their
// remainder modulo 8 can call for.
constexpr int kMostFirstSlack = 7;
// The least-cost path is kept, for the exact pass's detours, up to this many
// tokens (64 MiB).
constexpr size_t kMostPathTokens = size_t(1) << 24;

// The cost (control bits + 8 * data bytes) of the least-cost path's stream
// and the unused bits of its last control word.
struct PathMeasure {
  uint64_t cost;
  int spare;
};

PathMeasure Measure(const std::vector<uint32_t>& path) {
  // Every token has one data byte, and a long match of 27 or more a second.
  uint64_t bits = uint64_t(kEndMarkerSize.bits);
  uint64_t bytes = uint64_t(kEndMarkerSize.bytes);
  for (uint32_t token : path) {
    bits += TokenBits(token);
    bytes += 1 + (TokenLength(token) >= kFirstFlatLength);
  }
  return {bits + 8 * bytes, int((32 - bits % 32) % 32)};
}

// True when a stream of `size` bytes, the smallest of those costing up to
// the least cost + `slack`, is the smallest of all: every other one costs
// at least least cost + slack + 1, and a stream is no shorter than its
// cost / 8.
bool NoneSmaller(uint64_t size, const PathMeasure& least, int slack) {
  return size <= (least.cost + uint64_t(slack) + 1 + 7) / 8;
}

// The exact pass over the whole input, chunk by chunk, while another thread
// works out the ceilings' bounds of the chunks ahead (bounds of a chunk
// ending on P are sound on their own, see above).
void RunExactPass(const ParseWindow& window, const std::vector<uint32_t>& path, ExactPass* exact) {
  const size_t size = window.Known() - 1;
  std::vector<size_t> ends;
  size_t at = 0;
  for (uint32_t token : path) {
    at += TokenLength(token);
    if (at != size && at - (ends.empty() ? 0 : ends.back()) >= kExactChunk) ends.push_back(at);
  }
  ends.push_back(size);
  exact->SpanBounds();

  std::mutex mutex;
  std::condition_variable changed;
  size_t bounded = 0;  // chunks whose bounds are there
  auto bound = [&] {
    for (size_t i = 0; i < ends.size(); ++i) {
      exact->BoundChunk(window, i == 0 ? 0 : ends[i - 1], ends[i]);
      std::lock_guard<std::mutex> lock(mutex);
      bounded = i + 1;
      changed.notify_all();
    }
  };
  std::thread helper;
  try {
    helper = std::thread(bound);
  } catch (const std::system_error&) {
    bound();  // no thread to be had: one after the other
  }
  for (size_t i = 0; i < ends.size(); ++i) {
    {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] { return bounded > i; });
    }
    exact->Advance(window, ends[i], true);
  }
  if (helper.joinable()) helper.join();
}

}  // namespace

namespace {

// The whole input at once: the least-cost pass, then the exact pass with
// the slack the least-cost stream calls for.
void CompressWhole(const uint8_t* data, size_t size, StreamSink* sink, CompressProgress progress,
                   void* context, bool* leastCostOnly) {
  ParseWindow window;
  std::vector<uint32_t> path;
  LeastCostPass first(data, size, &window, &path);
  window.Reserve(size + 1, 4 * size);
  path.reserve(size);
  first.Run([](size_t) {}, progress, context);
  const PathMeasure least = Measure(path);
  if (least.spare < 8) return ExactPass(data, size).WritePath(path, sink);
  auto smallestWithin = [&](int slack) {
    sink->Restart();
    ExactPass exact(data, size);
    exact.SetSlack(slack);
    RunExactPass(window, path, &exact);
    if (!exact.GaveUp()) return exact.Finish(path, sink);
    *leastCostOnly = true;
    exact.WritePath(path, sink);
  };
  const int firstSlack = least.spare % 8;
  smallestWithin(firstSlack);
  if (!*leastCostOnly && !NoneSmaller(sink->Written(), least, firstSlack)) {
    smallestWithin(least.spare - 8);
  }
}

// Both passes chunk by chunk with the given slack; `least` receives the
// measure of the least-cost path. When the exact pass gives up (on its own
// or because the path outgrows its budget), the path is written out as it
// settles and `leastCostOnly` is set.
void CompressInChunks(const uint8_t* data, size_t size, int slack, StreamSink* sink,
                      CompressProgress progress, void* context, PathMeasure* least,
                      bool* leastCostOnly) {
  sink->Restart();
  ParseWindow window;
  std::vector<uint32_t> path;
  LeastCostPass first(data, size, &window, &path);
  ExactPass exact(data, size);
  exact.SetSlack(slack);
  ExactPassWorker worker(&exact);
  PathWriter written(data, sink);
  bool writing = false;  // the path goes to `written` as it settles
  auto writeOut = [&] {
    for (uint32_t token : path) written.Add(token);
    path.clear();
    path.shrink_to_fit();
  };
  size_t handed = 0;  // the exact pass has been given the stretch up to here
  first.Run(
      [&](size_t settled) {
        if (!writing && (exact.GaveUp() || path.size() > kMostPathTokens)) {
          exact.GiveUp();
          writing = true;
        }
        if (writing) {
          writeOut();
          window.DropBefore(settled);
          return;
        }
        if (settled != size && settled - handed < kExactChunk) return;
        worker.Advance(window, settled);
        handed = settled;
        window.DropBefore(handed);
      },
      progress, context);
  worker.Finish();
  if (writing || exact.GaveUp()) {
    *leastCostOnly = true;
    writeOut();
    return written.Finish();
  }
  *least = Measure(path);
  exact.Finish(path, sink);
}

void Compress(const uint8_t* data, size_t size, bool whole, StreamSink* sink,
              CompressProgress progress, void* context, CompressReport* report) {
  bool leastCostOnly = false;
  if (whole) {
    CompressWhole(data, size, sink, progress, context, &leastCostOnly);
  } else {
    PathMeasure least;
    CompressInChunks(data, size, kMostFirstSlack, sink, progress, context, &least, &leastCostOnly);
    if (!leastCostOnly && !NoneSmaller(sink->Written(), least, kMostFirstSlack)) {
      CompressInChunks(data, size, least.spare - 8, sink, progress, context, &least,
                       &leastCostOnly);
    }
  }
  if (progress != nullptr) progress(size, size, context);
  if (report != nullptr) report->leastCostOnly = leastCostOnly;
}

// The stream in memory, with room made for the longest a parse of `size`
// bytes can have (a literal each: a byte and a bit), so that it never moves.
std::vector<uint8_t> CompressInMemory(const uint8_t* data, size_t size, bool whole,
                                      CompressProgress progress, void* context,
                                      CompressReport* report) {
  MemorySink sink;
  sink.bytes.reserve(size + size / 8 + 16);
  Compress(data, size, whole, &sink, progress, context, report);
  return std::move(sink.bytes);
}

}  // namespace

std::vector<uint8_t> CompressStream(const uint8_t* data, size_t size, CompressProgress progress,
                                    void* context, CompressReport* report) {
  return CompressInMemory(data, size, size <= kWholeUpTo, progress, context, report);
}

void CompressStreamTo(const uint8_t* data, size_t size, StreamSink* sink, CompressProgress progress,
                      void* context, CompressReport* report) {
  Compress(data, size, size <= kWholeUpTo, sink, progress, context, report);
}

std::vector<uint8_t> CompressStreamInChunks(const uint8_t* data, size_t size,
                                            CompressReport* report) {
  return CompressInMemory(data, size, false, nullptr, nullptr, report);
}
