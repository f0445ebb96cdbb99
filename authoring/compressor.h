// The packer's compressor: turns a block into one compressed stream of the
// archive's format (the stream the updater's Decompress expands).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "authoring/stream_sink.h"

// Optional progress report: called now and then with the bytes done so far.
using CompressProgress = void (*)(size_t done, size_t total, void* context);

// What became of the search for the smallest stream.
struct CompressReport {
  // Proving the smallest would have taken more memory than the compressor's
  // budget, so the stream is that of a parse of least cost: at most 3 bytes
  // longer than the smallest (compressor.cpp).
  bool leastCostOnly = false;
};

// The smallest stream of the format for `data`, ending with the end marker
// (see compressor.cpp), within a fixed budget of memory besides the input
// and the stream. The same input always gives the same stream.
std::vector<uint8_t> CompressStream(const uint8_t* data, size_t size,
                                    CompressProgress progress = nullptr, void* context = nullptr,
                                    CompressReport* report = nullptr);

// The same stream, written into `sink` as it is found (the compressor then
// holds only a short stretch of it): for streams too long to hold in
// memory. Its length is the sink's Written() at the end.
void CompressStreamTo(const uint8_t* data, size_t size, StreamSink* sink,
                      CompressProgress progress = nullptr, void* context = nullptr,
                      CompressReport* report = nullptr);

// The same stream, found the way CompressStream takes inputs past 4 MiB:
// with the second pass working chunk by chunk behind the first (for tests
// of that way on shorter inputs).
std::vector<uint8_t> CompressStreamInChunks(const uint8_t* data, size_t size,
                                            CompressReport* report = nullptr);
