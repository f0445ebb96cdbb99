// Writes tokens into one compressed stream: control bits go into 32-bit
// little-endian words, most significant bit first, and each word takes its
// place in the stream at the point where its first bit is needed, between
// the data bytes written so far and the ones that follow. With a sink, the
// bytes before the word being filled are handed to it now and then, so the
// writer holds only a short stretch of the stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "authoring/stream_sink.h"

class TokenWriter {
 public:
  // Without a sink the writer keeps the whole stream for Finish.
  explicit TokenWriter(StreamSink* sink = nullptr) : sink_(sink) {}

  void Literal(uint8_t value);
  // Length 2, distance 1..2303.
  void ShortMatch(uint32_t distance);
  // Length 3..282, distance 1..8192.
  void LongMatch(uint32_t distance, uint32_t length);
  // Writes the end marker and hands back the finished stream, or with a
  // sink hands it the rest of the stream (nothing is handed back then).
  std::vector<uint8_t> Finish();

 private:
  void Bit(uint32_t bit);
  void Bits(uint32_t value, int count);
  void Byte(uint32_t value);
  void StoreWord();

  // Bytes are handed to the sink in pieces of about this many.
  static constexpr size_t kHandOverAt = size_t(1) << 16;

  StreamSink* sink_;
  std::vector<uint8_t> out_;
  size_t wordAt_ = 0;
  uint32_t word_ = 0;
  int bitsUsed_ = 32;  // no word started yet
};
