// Packing speed and ratio: compresses each file given, checks that the
// stream decodes back, and prints its size, ratio and speed: by the wall
// clock, by the processor time of this thread (both passes of the parse),
// and by that of the compressor's other threads (the match finder, on its
// own for inputs of 256 KiB and more, and the exact pass's bounds for
// inputs taken whole). On an idle machine with two cores the wall clock
// follows the busier side; on a busy one it shows what was left over.
#include <time.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "archive/decompress.h"
#include "authoring/compressor.h"
#include "tools/updpack/files/host_files.h"

namespace {

double Seconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// An "others" time of (nearly) nothing means all ran on the parse's thread.
void Print(const char* name, uint64_t in, uint64_t out, double wall, double parse, double others) {
  const double mb = double(in) / 1e6;
  std::printf("%-24s %11llu %11llu %6.2f%% %8.2f %10.2f %11.2f\n", name, (unsigned long long)in,
              (unsigned long long)out, 100.0 * double(out) / double(in ? in : 1), mb / wall,
              mb / parse, others > 1e-3 ? mb / others : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: compress_bench FILE...\n");
    return 2;
  }
  uint64_t allIn = 0, allOut = 0;
  double allWall = 0, allParse = 0, allOthers = 0;
  std::printf("%-24s %11s %11s %7s %8s %10s %11s\n", "file", "bytes", "packed", "ratio", "MB/s",
              "parse MB/s", "others MB/s");
  for (int i = 1; i < argc; ++i) {
    std::vector<uint8_t> data;
    std::string error;
    if (!ReadWholeFile(argv[i], &data, nullptr, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    const auto wall0 = std::chrono::steady_clock::now();
    const double process0 = Seconds(CLOCK_PROCESS_CPUTIME_ID);
    const double thread0 = Seconds(CLOCK_THREAD_CPUTIME_ID);
    const std::vector<uint8_t> packed = CompressStream(data.data(), data.size());
    const double parse = Seconds(CLOCK_THREAD_CPUTIME_ID) - thread0;
    const double others = Seconds(CLOCK_PROCESS_CPUTIME_ID) - process0 - parse;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    std::vector<uint8_t> back(data.size());
    size_t produced = 0;
    if (!Decompress(back.data(), back.size(), packed.data(), packed.size(), &produced) ||
        produced != data.size() || back != data) {
      std::fprintf(stderr, "%s: the stream does not decode to the file\n", argv[i]);
      return 1;
    }
    Print(argv[i], data.size(), packed.size(), wall, parse, others);
    allIn += data.size();
    allOut += packed.size();
    allWall += wall;
    allParse += parse;
    allOthers += others;
  }
  Print("all", allIn, allOut, allWall, allParse, allOthers);
  return 0;
}
