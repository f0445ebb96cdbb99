#include "authoring/detour_arena.h"

namespace {

constexpr size_t kFirstCollectionAt = size_t(1) << 16;

}  // namespace

DetourArena::DetourArena() : nodes_(1, Detour{0, 0, 0, 0, 0}), collectAbove_(kFirstCollectionAt) {}

uint32_t DetourArena::Add(uint32_t parent, size_t from, size_t to,
                          const std::vector<uint32_t>& tokens) {
  nodes_.push_back(Detour{parent, from, to, uint32_t(tokens_.size()), uint32_t(tokens.size())});
  tokens_.insert(tokens_.end(), tokens.begin(), tokens.end());
  return uint32_t(nodes_.size() - 1);
}

// A parent is always older than its child, so one pass from the newest node
// down marks every node a root reaches, and one pass up copies them.
void DetourArena::Collect(const std::vector<uint32_t*>& roots) {
  std::vector<uint32_t> renumbered(nodes_.size(), 0);
  for (const uint32_t* root : roots) renumbered[*root] = 1;
  for (size_t id = nodes_.size(); id-- > 1;) {
    if (renumbered[id] != 0) renumbered[nodes_[id].parent] = 1;
  }
  renumbered[0] = 0;
  std::vector<Detour> nodes(1, nodes_[0]);
  std::vector<uint32_t> tokens;
  for (size_t id = 1; id < nodes_.size(); ++id) {
    if (renumbered[id] == 0) continue;
    Detour d = nodes_[id];
    d.parent = renumbered[d.parent];
    const uint32_t first = uint32_t(tokens.size());
    tokens.insert(tokens.end(), tokens_.begin() + d.firstToken,
                  tokens_.begin() + d.firstToken + d.tokenCount);
    d.firstToken = first;
    renumbered[id] = uint32_t(nodes.size());
    nodes.push_back(d);
  }
  for (uint32_t* root : roots) *root = renumbered[*root];
  nodes_ = std::move(nodes);
  tokens_ = std::move(tokens);
  const size_t kept = nodes_.size() + tokens_.size();
  collectAbove_ = kept * 2 > kFirstCollectionAt ? kept * 2 : kFirstCollectionAt;
}
