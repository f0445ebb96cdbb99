#include "authoring/compressor.h"

#include "authoring/exact_pass.h"
#include "authoring/least_cost_pass.h"
#include "authoring/parse_window.h"

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
// at most C + s - 8 <= C + 23. The exact pass therefore follows every state
// (parse_states.h) whose cost, plus a lower bound of the least cost from its
// position to the end, stays within C + 23, and picks the smallest stream
// among them; P itself is among them, so nothing smaller is missed.
//
// The bound to the end, chunk by chunk. C is only known at the end, but it
// cancels out: for a chunk ending at a position e of P, let B(q) = the least
// cost of reaching q for q in e .. e + 281, and B(p) = max over the tokens
// p -> q of B(q) - price for p < e. Every path from p to the end first
// crosses e at one of those q, and the least cost from q to the end is at
// least C - (least cost of reaching q), so the least cost from p to the end
// is at least C - B(p). A state of cost c at p can thus be on its way only
// if c <= B(p) + 23: that is its ceiling, exact to the chunk and only looser
// (never wrong) near its end, where states that cross into the next chunk
// are checked again against that chunk's ceilings when they arrive. The
// work of the exact pass follows the states within their ceilings, and
// positions no such state reaches cost next to nothing.
//
// Memory. The least-cost pass keeps one state per position; once the best
// paths into the last 282 positions all pass through one position, its path
// is fixed up to there. The exact pass cannot do that: states with the same
// cost but a different split into bits and bytes are never worse than one
// another, may run side by side to the end of the input, and only the last
// word decides between them. But such paths differ from P only in short
// stretches, so a state's path is kept as P plus a list of detours (each a
// run of tokens from one position of P to a later one, detour_arena.h):
// when a state reaches a position of P, the tokens since it left P become a
// detour. The exact pass keeps the positions back to where the oldest
// open detour began, the windows of matches and costs between the two
// passes stay a chunk or two long, and the lists that no state can end
// with are collected. What grows with the input is P's tokens (4 bytes
// each, fewer than the stream's bytes on any compressible input) and the
// stream itself.

namespace {

// The exact pass runs on stretches of at least this many positions.
constexpr size_t kExactChunk = size_t(1) << 16;

}  // namespace

std::vector<uint8_t> CompressStream(const uint8_t* data, size_t size, CompressProgress progress,
                                    void* context) {
  ParseWindow window;
  std::vector<uint32_t> path;
  LeastCostPass first(data, size, &window, &path);
  ExactPass exact(data, size);
  first.Run(
      [&](size_t settled) {
        if (settled != size && settled - exact.Done() < kExactChunk) return;
        exact.Advance(window, settled);
        window.DropBefore(exact.Done());
      },
      progress, context);
  std::vector<uint8_t> stream = exact.Finish(path);
  if (progress != nullptr) progress(size, size, context);
  return stream;
}
