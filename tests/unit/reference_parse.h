// The reference that the packer's streams are held against: what tokens
// cost by the format's tables, the nearest distance of each length by a
// scan of the whole window, and the smallest stream by a shortest-path
// search. It is the tests' oracle, not the code under test, so the
// sanitizer tree compiles it optimized and uninstrumented (see
// CMakeLists.txt): at -O0 with AddressSanitizer the search over 100 KB of
// zeros took 22 s.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Cost of tokens in control bits and data bytes, from the format's tables.
struct Cost {
  int bits, bytes;
};
inline Cost ShortCost(uint32_t d) { return d <= 256 ? Cost{3, 1} : Cost{3 + 3, 1}; }
inline Cost LongCost(uint32_t d, uint32_t length) {
  const int distanceBits = d <= 512    ? 1 + 1
                           : d <= 1024 ? 2 + 1
                           : d <= 2048 ? 3 + 2
                           : d <= 4096 ? 4 + 3
                                       : 4 + 4;
  const Cost code = length == 3    ? Cost{1, 0}
                    : length == 4  ? Cost{2, 0}
                    : length <= 6  ? Cost{3 + 1, 0}
                    : length <= 10 ? Cost{4 + 2, 0}
                    : length <= 26 ? Cost{5 + 4, 0}
                                   : Cost{5, 1};
  return {2 + distanceBits + code.bits, 1 + code.bytes};
}

// For each length 2..282 the nearest distance that repeats it (0: none).
std::vector<uint32_t> NearestByScan(const Bytes& data, size_t at);

// Stream sizes by a shortest path over (position, control bits modulo 32),
// each kept at its least control bits + 8 * data bytes: the smallest of all
// streams, and the smallest among the parses of least cost. For each length
// the nearest distance is the cheapest one; `nearestAt(at)` gives them,
// once for each position in order.
struct ReferenceSizes {
  size_t smallest = SIZE_MAX;
  size_t smallestOfLeast = SIZE_MAX;
};
ReferenceSizes SearchSizes(size_t n,
                           const std::function<std::vector<uint32_t>(size_t at)>& nearestAt);
