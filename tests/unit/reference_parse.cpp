#include "tests/unit/reference_parse.h"

#include <algorithm>

std::vector<uint32_t> NearestByScan(const Bytes& data, size_t at) {
  std::vector<uint32_t> nearest(283, 0);
  const size_t limit = std::min<size_t>(282, data.size() - at);
  uint32_t best = 1;
  for (uint32_t d = 1; d <= 8192 && d <= at && best < limit; ++d) {
    uint32_t length = 0;
    while (length < limit && data[at + length] == data[at + length - d]) ++length;
    for (; best < length; ++best) nearest[best + 1] = d;
  }
  return nearest;
}

ReferenceSizes SearchSizes(size_t n,
                           const std::function<std::vector<uint32_t>(size_t at)>& nearestAt) {
  const uint64_t kNone = UINT64_MAX;
  std::vector<uint64_t> cost((n + 1) * 32, kNone);
  cost[0] = 0;
  for (size_t at = 0; at < n; ++at) {
    const std::vector<uint32_t> nearest = nearestAt(at);
    for (uint32_t r = 0; r < 32; ++r) {
      const uint64_t here = cost[at * 32 + r];
      if (here == kNone) continue;
      auto relax = [&](size_t length, Cost c) {
        uint64_t& there = cost[(at + length) * 32 + (r + c.bits) % 32];
        there = std::min(there, here + c.bits + 8 * c.bytes);
      };
      relax(1, {1, 1});
      if (nearest[2] != 0 && nearest[2] <= 2303) relax(2, ShortCost(nearest[2]));
      for (uint32_t length = 3; length <= 282 && nearest[length] != 0; ++length) {
        relax(length, LongCost(nearest[length], length));
      }
    }
  }
  uint64_t least = kNone;
  for (uint32_t r = 0; r < 32; ++r) least = std::min(least, cost[n * 32 + r]);
  ReferenceSizes sizes;
  for (uint32_t r = 0; r < 32; ++r) {
    if (cost[n * 32 + r] == kNone) continue;
    const uint64_t total = cost[n * 32 + r] + 6 + 8;  // the end marker
    const uint32_t pending = (r + 6) % 32;
    const size_t size = (total - pending) / 8 + (pending ? 4 : 0);
    sizes.smallest = std::min(sizes.smallest, size);
    if (cost[n * 32 + r] == least) sizes.smallestOfLeast = std::min(sizes.smallestOfLeast, size);
  }
  return sizes;
}
