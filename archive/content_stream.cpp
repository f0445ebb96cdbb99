#include "archive/content_stream.h"

#include <cstring>

#include "archive/decompress.h"
#include "archive/unscramble.h"

namespace {

bool IsCompressed(const ArchiveEntry& entry) { return (entry.flags & kEntryCompressed) != 0; }
bool IsScrambled(const ArchiveEntry& entry) { return entry.scrambled == kEntryScrambledMark; }

// Hands on `size` bytes in pieces of at most a window: one write call of a
// whole large file can fail on systems where pieces do not.
bool TakeInPieces(ContentSink& sink, const uint8_t* bytes, uint64_t size) {
  while (size > 0) {
    const size_t n = size < kContentWindowSize ? size_t(size) : kContentWindowSize;
    if (!sink.Take(bytes, n)) return false;
    bytes += n;
    size -= n;
  }
  return true;
}

// The stored bytes not yet taken: all of them where they lie in memory, or
// those of the working piece, which a refill tops up from the source,
// unscrambled as they come.
class StoredBytes {
 public:
  // All `size` bytes at `bytes`, used where they lie.
  StoredBytes(const uint8_t* bytes, size_t size) : at_(bytes), held_(size) {}

  // The entry's stored bytes from `source`, through `piece` of
  // kStoredPieceSize bytes.
  StoredBytes(const ArchiveEntry& entry, StoredSource* source, uint8_t* piece)
      : source_(source),
        piece_(piece),
        at_(piece),
        left_(entry.storedSize),
        unscrambler_(entry.storedSize),
        scrambled_(IsScrambled(entry)) {}

  const uint8_t* at() const { return at_; }
  size_t held() const { return held_; }
  bool last() const { return left_ == 0; }
  void Take(size_t n) {
    at_ += n;
    held_ -= n;
  }

  // Moves the bytes held to the piece's start and fills the rest of it.
  // Every fill but the last is a multiple of 4 bytes long, as unscrambling
  // in pieces wants.
  bool Refill() {
    if (source_ == nullptr) return false;
    std::memmove(piece_, at_, held_);
    at_ = piece_;
    size_t n = kStoredPieceSize - held_;
    if (n >= left_) {
      n = size_t(left_);
    } else {
      n &= ~size_t(3);
    }
    uint8_t* const to = piece_ + held_;
    if (!source_->Read(to, n)) return false;
    if (scrambled_) unscrambler_.Apply(to, n);
    held_ += n;
    left_ -= n;
    return true;
  }

 private:
  StoredSource* source_ = nullptr;
  uint8_t* piece_ = nullptr;
  const uint8_t* at_;
  size_t held_ = 0;
  uint64_t left_ = 0;  // bytes still to read from the source
  Unscrambler unscrambler_{0};
  bool scrambled_ = false;
};

ContentResult Expand(const ArchiveEntry& entry, StoredBytes& stored, uint8_t* window,
                     ContentSink& sink) {
  PieceDecoder decoder(window, kContentWindowSize, entry.unpackedSize);
  for (;;) {
    size_t taken = 0;
    const PieceStatus status = decoder.Decode(stored.at(), stored.held(), stored.last(), &taken);
    if (status == PieceStatus::kMalformed) return ContentResult::kDamaged;
    if (decoder.outputSize() > 0 && !sink.Take(decoder.output(), decoder.outputSize())) {
      return ContentResult::kSinkFailed;
    }
    decoder.TakeOutput();
    stored.Take(taken);
    if (status == PieceStatus::kEnded) {
      // A stream that ends short of the recorded size is as damaged as one
      // that runs past it.
      return decoder.produced() == entry.unpackedSize ? ContentResult::kOk
                                                      : ContentResult::kDamaged;
    }
    if (status == PieceStatus::kNeedSource && !stored.Refill()) return ContentResult::kReadFailed;
  }
}

// Stored bytes in memory, read as a source.
class MemorySource final : public StoredSource {
 public:
  explicit MemorySource(const uint8_t* bytes) : next_(bytes) {}
  bool Read(uint8_t* to, size_t size) override {
    std::memcpy(to, next_, size);
    next_ += size;
    return true;
  }

 private:
  const uint8_t* next_;
};

}  // namespace

ContentResult ProduceContent(const ArchiveEntry& entry, StoredSource& source, uint8_t* work,
                             ContentSink& sink) {
  StoredBytes stored(entry, &source, work + kContentWindowSize);
  if (IsCompressed(entry)) {
    if (entry.unpackedSize > MaxExpansion(entry.storedSize)) return ContentResult::kDamaged;
    return Expand(entry, stored, work, sink);
  }
  // Stored as it is: the content is the first unpackedSize of the bytes.
  if (entry.unpackedSize > entry.storedSize) return ContentResult::kDamaged;
  uint64_t left = entry.unpackedSize;
  while (left > 0) {
    if (!stored.Refill()) return ContentResult::kReadFailed;
    const size_t n = stored.held() < left ? stored.held() : size_t(left);
    if (!sink.Take(stored.at(), n)) return ContentResult::kSinkFailed;
    stored.Take(stored.held());
    left -= n;
  }
  return ContentResult::kOk;
}

bool ContentNeedsWork(const ArchiveEntry& entry) {
  return IsCompressed(entry) || IsScrambled(entry);
}

ContentResult ProduceContentFrom(const ArchiveEntry& entry, const uint8_t* stored, uint8_t* work,
                                 ContentSink& sink) {
  if (IsScrambled(entry)) {
    MemorySource source(stored);
    return ProduceContent(entry, source, work, sink);
  }
  if (IsCompressed(entry)) {
    if (entry.unpackedSize > MaxExpansion(entry.storedSize)) return ContentResult::kDamaged;
    StoredBytes whole(stored, entry.storedSize);
    return Expand(entry, whole, work, sink);
  }
  if (entry.unpackedSize > entry.storedSize) return ContentResult::kDamaged;
  return TakeInPieces(sink, stored, entry.unpackedSize) ? ContentResult::kOk
                                                        : ContentResult::kSinkFailed;
}
