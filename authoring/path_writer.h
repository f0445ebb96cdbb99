// Writes a parse of an input, as packed tokens (parse_window.h) in order,
// into one compressed stream, handed to a sink as it grows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "authoring/parse_window.h"
#include "authoring/token_writer.h"

class PathWriter {
 public:
  PathWriter(const uint8_t* data, StreamSink* sink) : data_(data), sink_(sink), writer_(sink) {}

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
    if (position_ >= nextReport_) {
      sink_->InputWrittenUpTo(position_);
      nextReport_ = position_ + kReportEvery;
    }
  }

  // Ends the stream with the end marker.
  void Finish() { writer_.Finish(); }

 private:
  static constexpr size_t kReportEvery = size_t(1) << 20;

  const uint8_t* data_;
  StreamSink* sink_;
  size_t position_ = 0;
  size_t nextReport_ = kReportEvery;
  TokenWriter writer_;
};
