// The paths of the exact pass, kept short: a path is the least-cost path
// with detours, each a run of other tokens that leaves the least-cost path
// at one of its positions and meets it again at a later one. A path's
// detours form a list, newest first, whose nodes paths share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class DetourArena {
 public:
  struct Detour {
    uint32_t parent;                  // the detour before this one (0: none)
    size_t from;                      // position where it leaves the least-cost path
    size_t to;                        // position where it meets it again
    uint32_t firstToken, tokenCount;  // its packed tokens (parse_window.h), in order
  };

  DetourArena();

  // A new list: `tokens` (in order) from `from` to `to`, after `parent`.
  uint32_t Add(uint32_t parent, size_t from, size_t to, const std::vector<uint32_t>& tokens);

  const Detour& At(uint32_t id) const { return nodes_[id]; }
  const uint32_t* Tokens(const Detour& d) const { return tokens_.data() + d.firstToken; }

  // Whether enough has piled up since the last collection to make another
  // worth its while.
  bool WantsCollection() const { return nodes_.size() + tokens_.size() > collectAbove_; }

  // Keeps only the lists that `roots` name and renumbers them in place.
  void Collect(const std::vector<uint32_t*>& roots);

 private:
  std::vector<Detour> nodes_;  // nodes_[0] stands for the empty list
  std::vector<uint32_t> tokens_;
  size_t collectAbove_;
};
