// The decoder's numbers, each derived from the token grammar
// (archive/token_format.h): how much one control word can hold, how far
// the fast decoder reads and writes ahead, and what a stream decoded in
// pieces must keep and be given.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/token_format.h"

namespace decode_limits {

constexpr unsigned kWordBits = 32;

// ---- What one control word can hold.

// Every control bit is followed by at most one data byte: 32 literals
// read the most data bytes after one word.
constexpr unsigned kMostReadsPerWord = kWordBits;

// The fewest control bits of a match: the narrow short match, 0 1 0.
constexpr unsigned kFewestMatchBits = 3;
// So at most ceil(32 / 3) = 11 matches start in one word.
constexpr unsigned kMostMatchesPerWord = (kWordBits + kFewestMatchBits - 1) / kFewestMatchBits;

// The fewest control bits of a match of the greatest length: 0 0, the
// shortest distance code, and the length code that takes a byte.
constexpr unsigned kLongestMatchBits = 2 + kDistanceCodes[0].selectorBits +
                                       kDistanceCodes[0].extraBits +
                                       kLengthCodes[kLengthByteCode].selectorBits;

// The most control bits of any token: 0 0, the widest distance code, the
// widest length code.
constexpr unsigned kMostTokenBits = 2 + kDistanceCodes[kDistanceCodeCount - 1].selectorBits +
                                    kDistanceCodes[kDistanceCodeCount - 1].extraBits +
                                    kLengthCodes[kLengthCodeCount - 2].selectorBits +
                                    kLengthCodes[kLengthCodeCount - 2].extraBits;

static_assert(kFewestMatchBits == 3 && kMostMatchesPerWord == 11,
              "a narrow short match is the shortest match: 11 can start in a word");
static_assert(kLongestMatchBits == 9, "282 bytes take at least 9 control bits");
static_assert(kMostTokenBits == 19, "no token takes more than 19 control bits");

// ---- The fast decoder.

// Control words split in one go. A block decodes the tokens that start
// before its last word; the next block starts again at that word, so block
// k covers words k * (kBlockWords - 1) to (k + 1) * (kBlockWords - 1).
constexpr unsigned kBlockWords = 128;

// The split reads a control word and copies the data bytes behind it that
// the word could have.
constexpr size_t kWordReach = 4 + kMostReadsPerWord;

// Copies that run 16 bytes at a time write up to this many bytes past
// their end.
constexpr size_t kOverrun = 16;

// Room the decode keeps behind a literal run: the match after it, the
// copies' overrun, and the guard's look at the kOverrun bytes past that.
constexpr size_t kDestinationMargin = kMaxLongLength + 2 * kOverrun;

// The most output of one block: its tokens start in the bits of its first
// kBlockWords - 1 words, every kLongestMatchBits of them yield at most
// kMaxLongLength bytes, and one more match may start in the last of them.
constexpr size_t kBlockMostOutput =
    ((kBlockWords - 1) * kWordBits / kLongestMatchBits + 1) * size_t(kMaxLongLength);

// The room a block needs before it starts, so that nothing it writes
// reaches past the room.
constexpr size_t kBlockRoom = kBlockMostOutput + kDestinationMargin;

// The source a whole block is split from: each of its words with the most
// data bytes behind it.
constexpr size_t kBlockSource = kBlockWords * kWordReach;

// ---- A stream decoded in pieces.

// The output kept behind the end for the matches still to come: the
// farthest back any match reaches.
constexpr size_t kDecodeHistory = kMaxLongDistance;
static_assert(kMaxShortDistance <= kDecodeHistory, "short matches reach back less far");

// The least window for the output of a stream decoded in pieces: the
// history and the room of two blocks, so that every window gives at least
// a block's room of output.
constexpr size_t kMinDecodeWindow = kDecodeHistory + 2 * kBlockRoom;

// A stream decoded in pieces wants at least this much of its source at
// once, unless what it is given is the last: a whole block.
constexpr size_t kMinDecodeSource = kBlockSource;

}  // namespace decode_limits
