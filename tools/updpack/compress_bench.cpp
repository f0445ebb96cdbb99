// Packing speed and ratio: compresses each file given, checks that the
// stream decodes back, and prints its size, ratio and speed (wall clock, and
// processor time of the whole process, which counts both of the
// compressor's threads).
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "archive/decompress.h"
#include "authoring/compressor.h"
#include "tools/updpack/host_files.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: compress_bench FILE...\n");
    return 2;
  }
  uint64_t allIn = 0, allOut = 0;
  double allWall = 0, allCpu = 0;
  std::printf("%-28s %12s %12s %7s %9s %9s\n", "file", "bytes", "packed", "ratio", "MB/s", "cpu MB/s");
  for (int i = 1; i < argc; ++i) {
    std::vector<uint8_t> data;
    std::string error;
    if (!ReadWholeFile(argv[i], &data, nullptr, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    const auto wall0 = std::chrono::steady_clock::now();
    const std::clock_t cpu0 = std::clock();
    const std::vector<uint8_t> packed = CompressStream(data.data(), data.size());
    const double cpu = double(std::clock() - cpu0) / CLOCKS_PER_SEC;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    std::vector<uint8_t> back(data.size());
    size_t produced = 0;
    if (!Decompress(back.data(), back.size(), packed.data(), packed.size(), &produced) ||
        produced != data.size() || back != data) {
      std::fprintf(stderr, "%s: the stream does not decode to the file\n", argv[i]);
      return 1;
    }
    std::printf("%-28s %12zu %12zu %6.2f%% %9.2f %9.2f\n", argv[i], data.size(), packed.size(),
                100.0 * double(packed.size()) / double(data.size() ? data.size() : 1),
                double(data.size()) / wall / 1e6, double(data.size()) / cpu / 1e6);
    allIn += data.size();
    allOut += packed.size();
    allWall += wall;
    allCpu += cpu;
  }
  std::printf("%-28s %12llu %12llu %6.2f%% %9.2f %9.2f\n", "all", (unsigned long long)allIn,
              (unsigned long long)allOut, 100.0 * double(allOut) / double(allIn ? allIn : 1),
              double(allIn) / allWall / 1e6, double(allIn) / allCpu / 1e6);
  return 0;
}
