// Writes a parse of an input, as packed tokens (parse_window.h) in order,
// into one compressed stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "authoring/parse_window.h"
#include "authoring/token_writer.h"

class PathWriter {
 public:
  // `size`: the input's; room is made for the longest stream a parse of it
  // can have (a literal each: a byte and a bit), so the stream never moves.
  PathWriter(const uint8_t* data, size_t size) : data_(data) {
    writer_.Reserve(size + size / 8 + 16);
  }

  void Add(uint32_t token) {
    const uint32_t length = TokenLength(token);
    if (length == 1) {
      writer_.Literal(data_[position_]);
    } else if (length == 2) {
      writer_.ShortMatch(TokenDistance(token));
    } else {
      writer_.LongMatch(TokenDistance(token), length);
    }
    position_ += length;
  }

  std::vector<uint8_t> Finish() { return writer_.Finish(); }

 private:
  const uint8_t* data_;
  size_t position_ = 0;
  TokenWriter writer_;
};
