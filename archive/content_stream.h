// An entry's content produced piece by piece: read from its stored bytes,
// unscrambled and decoded through a small working block, and handed on as
// it comes, so that no entry is held whole whatever its size.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/archive_format.h"
#include "archive/decode_limits.h"

// Where the content goes: `Take` gets the pieces in order; false stops.
class ContentSink {
 public:
  virtual bool Take(const uint8_t* bytes, size_t size) = 0;

 protected:
  ~ContentSink() = default;
};

// Where the stored bytes come from: `Read` puts the next `size` of them at
// `to`, in order from the first; false when they cannot be read.
class StoredSource {
 public:
  virtual bool Read(uint8_t* to, size_t size) = 0;

 protected:
  ~StoredSource() = default;
};

// The working block: the decoder's window, then a piece of stored bytes.
// The window takes the output of about a megabyte at a time; the piece is
// large enough that its refills cost little and holds at least what the
// decoder wants at once.
constexpr size_t kContentWindowSize = size_t(1) << 20;
constexpr size_t kStoredPieceSize = size_t(256) << 10;
constexpr size_t kContentWorkSize = kContentWindowSize + kStoredPieceSize;
static_assert(kContentWindowSize >= decode_limits::kMinDecodeWindow, "the window is large enough");
static_assert(kStoredPieceSize >= 2 * decode_limits::kMinDecodeSource,
              "a refill always adds at least what the decoder wants at once");

enum class ContentResult {
  kOk,
  kDamaged,     // the stream is malformed or does not give exactly the recorded size
  kReadFailed,  // the source failed
  kSinkFailed,  // the sink stopped
};

// The content of `entry` from `source` into `sink`, through `work` of
// kContentWorkSize bytes.
ContentResult ProduceContent(const ArchiveEntry& entry, StoredSource& source, uint8_t* work,
                             ContentSink& sink);

// The same for stored bytes in memory: handed on, or decoded, where they
// lie unless they are scrambled. `work` is needed only for an entry that
// is compressed or scrambled (nullptr otherwise).
ContentResult ProduceContentFrom(const ArchiveEntry& entry, const uint8_t* stored, uint8_t* work,
                                 ContentSink& sink);

// Whether ProduceContentFrom needs a working block for `entry`.
bool ContentNeedsWork(const ArchiveEntry& entry);
