#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/decode_limits.h"

// Expands one compressed stream of `sourceSize` bytes into `destination` of
// `destinationSize` bytes. The stream ends at its end marker; bytes of the
// destination behind the decoded output are left as they were.
//
// `produced`, when given, receives the number of bytes decoded.
//
// Returns false for a malformed stream: one that would write past the
// destination, copy from before its start, or read past the source. Decoding
// stops there and touches nothing outside the two blocks.
bool Decompress(uint8_t* destination, size_t destinationSize, const uint8_t* source,
                size_t sourceSize, size_t* produced);

enum class PieceStatus {
  kEnded,       // the end marker was read: the output is complete
  kMalformed,   // as for Decompress; nothing more comes
  kNeedSource,  // give the source again from where it was taken, with more after it
  kWindowFull,  // take the output, then call again
};

// Decodes one stream whose source, output or both are too large to hold at
// once: the source comes in pieces, the output goes out through a window
// that keeps the history the next matches read.
//
//   PieceDecoder decoder(window, windowSize, recordedSize);
//   loop: status = decoder.Decode(source, size, last, &taken);
//         write decoder.output() / outputSize(), then TakeOutput();
//         kNeedSource: the bytes from source + taken on, then more;
//         kWindowFull: the same source from source + taken on.
//
// The output is the same as Decompress gives into a block of
// `outputLimit` bytes, and a stream is malformed in the same cases.
class PieceDecoder {
 public:
  // `window` holds `windowSize` bytes, at least kMinDecodeWindow. A stream
  // that would make more than `outputLimit` bytes is malformed.
  PieceDecoder(uint8_t* window, size_t windowSize, uint64_t outputLimit);

  // Decodes from `source`: the `size` bytes of the stream from where the
  // last call took up to, at least kMinDecodeSource of them unless `last`
  // (no bytes of the stream follow them). Sets `taken` to the bytes that
  // the next call need not be given again.
  PieceStatus Decode(const uint8_t* source, size_t size, bool last, size_t* taken);

  // The output decoded since it was last taken.
  const uint8_t* output() const { return outputFrom_; }
  size_t outputSize() const { return size_t(out_ - outputFrom_); }
  // Marks the output taken; the window keeps its history.
  void TakeOutput();

  // Bytes decoded in all.
  uint64_t produced() const { return windowBase_ + uint64_t(out_ - window_); }

 private:
  uint8_t* const window_;
  uint8_t* const windowEnd_;
  const uint64_t outputLimit_;
  uint64_t windowBase_ = 0;  // output before window_[0]
  uint8_t* out_;
  uint8_t* outputFrom_;
  // Where decoding resumes in the source: in the fast decoder, the split's
  // state and the bits and data bytes of the first word already decoded;
  // in the checked one, the untaken bits of the current word.
  bool checked_ = false;
  unsigned splitIndex_;
  unsigned bitFrom_ = 0;
  unsigned dataFrom_ = 0;
  uint64_t bits_ = 0;
  unsigned count_ = 0;
};
