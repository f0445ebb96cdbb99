// The exact pass's detour lists: a collection keeps every list a root names,
// node for node and token for token, renumbered, and drops the rest.
#include "authoring/detour_arena.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

struct Flat {
  size_t from, to;
  std::vector<uint32_t> tokens;
  bool operator==(const Flat& o) const {
    return from == o.from && to == o.to && tokens == o.tokens;
  }
};

// A list, newest detour first.
std::vector<Flat> Read(const DetourArena& arena, uint32_t id) {
  std::vector<Flat> list;
  for (; id != 0; id = arena.At(id).parent) {
    const DetourArena::Detour& d = arena.At(id);
    const uint32_t* tokens = arena.Tokens(d);
    list.push_back({d.from, d.to, std::vector<uint32_t>(tokens, tokens + d.tokenCount)});
  }
  return list;
}

TEST(DetourArena, CollectionKeepsTheNamedListsAndNothingElse) {
  DetourArena arena;
  // A tree: two lists share their first two detours; others are dropped.
  const uint32_t a = arena.Add(0, 10, 14, {1, 2, 1 | 3 << 9});
  const uint32_t dropped = arena.Add(0, 20, 22, {2});
  const uint32_t b = arena.Add(a, 30, 33, {3 | 7 << 9});
  const uint32_t left = arena.Add(b, 40, 41, {1});
  const uint32_t right = arena.Add(b, 40, 44, {4 | 100 << 9});
  arena.Add(dropped, 50, 52, {2 | 5 << 9});
  const uint32_t empty = 0;

  uint32_t roots[] = {right, left, right, empty};
  const std::vector<Flat> expectLeft = Read(arena, left), expectRight = Read(arena, right);
  arena.Collect({&roots[0], &roots[1], &roots[2], &roots[3]});

  EXPECT_EQ(expectRight, Read(arena, roots[0]));
  EXPECT_EQ(expectLeft, Read(arena, roots[1]));
  EXPECT_EQ(roots[0], roots[2]);
  EXPECT_EQ(0u, roots[3]);
  // Kept: a, b, left, right; the shared ones once.
  std::vector<uint32_t> seen;
  for (uint32_t root : {roots[0], roots[1]}) {
    for (uint32_t id = root; id != 0; id = arena.At(id).parent) {
      if (std::find(seen.begin(), seen.end(), id) == seen.end()) seen.push_back(id);
    }
  }
  EXPECT_EQ(4u, seen.size());
  for (uint32_t id : seen) EXPECT_LE(id, 4u);
  // New lists go on from the kept ones.
  const uint32_t more = arena.Add(roots[1], 60, 61, {1});
  std::vector<Flat> expectMore = expectLeft;
  expectMore.insert(expectMore.begin(), Flat{60, 61, {1}});
  EXPECT_EQ(expectMore, Read(arena, more));
}

}  // namespace
