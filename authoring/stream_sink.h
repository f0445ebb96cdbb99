// Where a compressed stream goes as it is written: its bytes in order, each
// handed over once it is final, so that a long stream need not be held
// whole. The compressor may search twice; Restart then drops the first
// search's stream before the second writes its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class StreamSink {
 public:
  virtual ~StreamSink() = default;

  void Write(const uint8_t* bytes, size_t size) {
    written_ += size;
    Take(bytes, size);
  }
  void Restart() {
    written_ = 0;
    Drop();
  }
  // Bytes of the stream written since the start (or the last Restart).
  uint64_t Written() const { return written_; }

  // The stream written so far stands for the input up to `position`: told
  // every megabyte or so of input, for a sink that keeps the input mapped
  // and gives back the pages behind.
  virtual void InputWrittenUpTo(uint64_t position) { (void)position; }

 protected:
  virtual void Take(const uint8_t* bytes, size_t size) = 0;
  virtual void Drop() = 0;

 private:
  uint64_t written_ = 0;
};

// The stream in memory.
class MemorySink final : public StreamSink {
 public:
  std::vector<uint8_t> bytes;

 protected:
  void Take(const uint8_t* data, size_t size) override {
    bytes.insert(bytes.end(), data, data + size);
  }
  void Drop() override { bytes.clear(); }
};
