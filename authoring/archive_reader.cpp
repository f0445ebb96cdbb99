#include "authoring/archive_reader.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "archive/decompress.h"
#include "archive/token_format.h"
#include "archive/unscramble.h"
#include "authoring/entry_file_name.h"
#include "authoring/name_fold_keys.h"
#include "host/codepage.h"

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char buffer[512];
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(buffer, sizeof buffer, format, arguments);
  va_end(arguments);
  return buffer;
}

std::string EntryPlace(const ArchiveEntry& entry, size_t index) {
  return Format("entry %zu \"%s\"", index, EntryDisplayName(entry).c_str());
}

bool IsCompressed(const ArchiveEntry& entry) { return (entry.flags & kEntryCompressed) != 0; }
bool IsScrambled(const ArchiveEntry& entry) { return entry.scrambled == kEntryScrambledMark; }

// Stored bytes read from the archive in order from `offset`, as the content
// producer asks for them; keeps what failed.
class StoredRange final : public StoredSource {
 public:
  // `progress`, when given and set, is told the bytes read so far.
  StoredRange(const ArchiveBytes& archive, uint64_t offset, const StoredProgress* progress)
      : archive_(archive), offset_(offset), progress_(progress) {}

  bool Read(uint8_t* to, size_t size) override {
    if (!archive_.ReadAt(offset_ + read_, to, size, &error_)) return false;
    read_ += size;
    if (progress_ != nullptr && *progress_) (*progress_)(read_);
    return true;
  }
  const std::string& error() const { return error_; }

 private:
  const ArchiveBytes& archive_;
  const uint64_t offset_;
  const StoredProgress* progress_;
  uint64_t read_ = 0;
  std::string error_;
};

// How a compressed stream decoded in pieces came to an end.
struct StreamEnd {
  bool readFailed = false;
  bool ended = false;     // at its end marker; otherwise malformed
  uint64_t produced = 0;  // bytes decoded before it ended or broke off
};

// Decodes the compressed stream of `storedSize` bytes from `source`,
// unscrambled first when `scrambled`, into at most `limit` bytes, through
// `work` (kContentWorkSize bytes: the window, then a piece of the stream),
// handing each piece of output to `take` when given. ProduceContent says
// only that a stream is damaged; this says how, and where: it reads the
// directory, and entries found damaged again.
StreamEnd DecodeStored(StoredSource& source, uint64_t storedSize, bool scrambled, uint64_t limit,
                       uint8_t* work, const std::function<void(const uint8_t*, size_t)>& take) {
  PieceDecoder decoder(work, kContentWindowSize, limit);
  uint8_t* const piece = work + kContentWindowSize;
  Unscrambler unscrambler{uint32_t(storedSize)};
  const uint8_t* at = piece;
  size_t held = 0;
  uint64_t left = storedSize;  // not read yet
  StreamEnd end;
  for (;;) {
    size_t taken = 0;
    const PieceStatus status = decoder.Decode(at, held, left == 0, &taken);
    if (take && decoder.outputSize() > 0) take(decoder.output(), decoder.outputSize());
    decoder.TakeOutput();
    at += taken;
    held -= taken;
    end.produced = decoder.produced();
    if (status == PieceStatus::kEnded || status == PieceStatus::kMalformed) {
      end.ended = status == PieceStatus::kEnded;
      return end;
    }
    if (status != PieceStatus::kNeedSource) continue;
    // Moves what is held to the piece's start and reads more after it:
    // every read but the last a multiple of 4 bytes, as unscrambling in
    // pieces wants.
    if (left == 0) return end;  // nothing more to give: malformed
    std::memmove(piece, at, held);
    at = piece;
    size_t n = kStoredPieceSize - held;
    n = n >= left ? size_t(left) : n & ~size_t(3);
    if (!source.Read(piece + held, n)) {
      end.readFailed = true;
      return end;
    }
    if (scrambled) unscrambler.Apply(piece + held, n);
    held += n;
    left -= n;
  }
}

// What is wrong with a stream that did not give `expected` bytes.
std::string StreamDamage(const StreamEnd& end, uint64_t expected, uint64_t storedSize) {
  if (end.ended) {
    return Format("the compressed stream ends after %" PRIu64 " bytes, not the recorded %" PRIu64,
                  end.produced, expected);
  }
  return Format("the compressed stream is damaged: it breaks off after %" PRIu64 " of %" PRIu64
                " bytes (it reads past its %" PRIu64
                " stored bytes, copies from before its start or runs past the recorded size)",
                end.produced, expected, storedSize);
}

std::string BeyondAnyStream(uint64_t expected, uint64_t storedSize) {
  return Format("%" PRIu64 " bytes cannot come from a stream of %" PRIu64 " bytes", expected,
                storedSize);
}

// The directory's records: read as they lie, or expanded from the stream
// that runs from the directory offset to the end; false with `error` set
// (after `where`) when they cannot be had in full.
bool ReadRecords(const ArchiveBytes& archive, const ArchiveHeader& header,
                 std::vector<uint8_t>* records, std::string* error) {
  const uint64_t recordBytes = uint64_t(header.entryCount) * kEntrySize;
  const uint64_t blockSize = archive.size() - header.directoryOffset;
  const std::string where = Format("directory: %" PRIu32 " entries at offset %" PRIu32 ": ",
                                   header.entryCount, header.directoryOffset);
  if (header.flags & kDirectoryCompressed) {
    if (recordBytes > MaxExpansion(blockSize)) {
      *error = where + BeyondAnyStream(recordBytes, blockSize);
      return false;
    }
    std::vector<uint8_t> work(kContentWorkSize);
    StoredRange block(archive, header.directoryOffset, nullptr);
    const StreamEnd end =
        DecodeStored(block, blockSize, (header.flags & kDirectoryScrambled) != 0, recordBytes,
                     work.data(), [&](const uint8_t* bytes, size_t size) {
                       records->insert(records->end(), bytes, bytes + size);
                     });
    if (end.readFailed) {
      *error = where + block.error();
      return false;
    }
    if (!end.ended || end.produced != recordBytes) {
      *error = where + StreamDamage(end, recordBytes, blockSize);
      return false;
    }
    return true;
  }
  if (recordBytes > blockSize) {
    *error = Format("directory: %" PRIu32 " entries need %" PRIu64 " bytes, but only %" PRIu64
                    " follow the directory offset %" PRIu32,
                    header.entryCount, recordBytes, blockSize, header.directoryOffset);
    return false;
  }
  records->resize(size_t(recordBytes));
  if (!archive.ReadAt(header.directoryOffset, records->data(), records->size(), error)) {
    *error = where + *error;
    return false;
  }
  if (header.flags & kDirectoryScrambled) Unscramble(records->data(), uint32_t(records->size()));
  return true;
}

// The header and the directory; false with `error` set at the first fault
// that leaves nothing to read.
bool ReadDirectory(const ArchiveBytes& archive, ArchiveListing* listing, std::string* error) {
  const uint64_t size = archive.size();
  if (size < sizeof(ArchiveHeader)) {
    *error =
        Format("header: the archive is %" PRIu64 " bytes, too short for its 16-byte header", size);
    return false;
  }
  if (size > UINT32_MAX) {
    *error =
        Format("header: the archive is %" PRIu64 " bytes, more than 32-bit offsets reach", size);
    return false;
  }
  uint8_t raw[sizeof(ArchiveHeader)];
  if (!archive.ReadAt(0, raw, sizeof raw, error)) {
    *error = "header: " + *error;
    return false;
  }
  ArchiveHeader& header = listing->header;
  std::memcpy(&header, raw, sizeof header);
  listing->archiveSize = size;
  if (header.magic != kArchiveMagic) {
    *error = Format("header: the magic is %02X %02X %02X %02X, not 56 51 32 00 (\"VQ2\")", raw[0],
                    raw[1], raw[2], raw[3]);
    return false;
  }
  if (header.directoryOffset < sizeof(ArchiveHeader) || header.directoryOffset > size) {
    *error = Format("header: the directory offset %" PRIu32
                    " lies outside the archive (16 to %" PRIu64 ")",
                    header.directoryOffset, size);
    return false;
  }
  std::vector<uint8_t> records;
  if (!ReadRecords(archive, header, &records, error)) return false;
  listing->entries.resize(header.entryCount);
  listing->dataOffsets.resize(header.entryCount);
  uint64_t offset = sizeof(ArchiveHeader);
  for (uint32_t i = 0; i < header.entryCount; ++i) {
    std::memcpy(&listing->entries[i], records.data() + i * kEntrySize, kEntrySize);
    listing->dataOffsets[i] = offset;
    offset += (uint64_t(listing->entries[i].storedSize) + kDataAlignment - 1) &
              ~uint64_t(kDataAlignment - 1);
  }
  return true;
}

void CheckNames(const ArchiveListing& listing, std::vector<std::string>* problems) {
  const size_t count = listing.entries.size();
  std::vector<bool> usable(count, false);
  for (size_t i = 0; i < count; ++i) {
    const ArchiveEntry& entry = listing.entries[i];
    const std::string place = EntryPlace(entry, i);
    if (!EntryNameIsTerminated(entry)) {
      problems->push_back(place + ": the name has no terminating NUL within its 260 bytes");
      continue;
    }
    std::string utf8;
    if (!Cp932ToUtf8(entry.name, &utf8)) {
      problems->push_back(place + ": the name is not code page 932 text");
      continue;
    }
    const std::string why = WhyNotAFileName(entry.name);
    if (!why.empty()) problems->push_back(place + ": the name is not a plain file name: it " + why);
    usable[i] = true;
  }
  // Names equal as the updater compares them: the first one hides the
  // others. One key per name, so this stays linear in the entries.
  NameFoldKeys keys;
  std::unordered_map<std::u16string, size_t> firstOfKey;
  for (size_t i = 0; i < count; ++i) {
    if (!usable[i]) continue;
    const auto found = firstOfKey.emplace(keys.Key(listing.entries[i].name), i);
    if (found.second) continue;
    const size_t first = found.first->second;
    problems->push_back(EntryPlace(listing.entries[i], i) + ": has the name of " +
                        EntryPlace(listing.entries[first], first) +
                        " (ignoring case); the updater only ever finds the first");
  }
}

// Content that is only checked, not kept.
class CheckedOnly final : public ContentTarget {
 public:
  bool Take(const uint8_t*, size_t) override { return true; }
  std::string WhyStopped() const override { return std::string(); }
};

// Content gathered in memory.
class Gathered final : public ContentTarget {
 public:
  explicit Gathered(std::vector<uint8_t>* content) : content_(content) {}
  bool Take(const uint8_t* bytes, size_t size) override {
    content_->insert(content_->end(), bytes, bytes + size);
    return true;
  }
  std::string WhyStopped() const override { return std::string(); }

 private:
  std::vector<uint8_t>* content_;
};

}  // namespace

bool EntryNameIsTerminated(const ArchiveEntry& entry) {
  return std::memchr(entry.name, '\0', sizeof entry.name) != nullptr;
}

std::string EntryDisplayName(const ArchiveEntry& entry) {
  const void* end = std::memchr(entry.name, '\0', sizeof entry.name);
  const size_t length =
      end ? size_t(static_cast<const char*>(end) - entry.name) : sizeof entry.name;
  return Cp932ToUtf8Lossy(std::string(entry.name, length));
}

bool ReadArchiveListing(const ArchiveBytes& archive, ArchiveListing* listing, std::string* error) {
  *listing = ArchiveListing{};
  return ReadDirectory(archive, listing, error);
}

bool ReadArchiveContent(const ArchiveBytes& archive, const ArchiveListing& listing, size_t index,
                        uint8_t* work, ContentTarget& target, std::string* error,
                        const StoredProgress& progress) {
  const ArchiveEntry& entry = listing.entries[index];
  const uint64_t begin = listing.dataOffsets[index];
  const uint64_t end = begin + entry.storedSize;
  const uint64_t dataEnd = std::min<uint64_t>(listing.header.directoryOffset, archive.size());
  if (entry.storedSize > 0xFFFFFFF0u) {
    *error = Format("the stored size %" PRIu32
                    " wraps around when rounded up to 16 in 32 bits, which moves every later "
                    "entry's data",
                    entry.storedSize);
    return false;
  }
  if (end > dataEnd) {
    *error = Format("its %" PRIu32 " stored bytes at offset %" PRIu64
                    " run past the data area, which ends at %" PRIu64,
                    entry.storedSize, begin, dataEnd);
    return false;
  }
  if (IsCompressed(entry) && entry.unpackedSize > MaxExpansion(entry.storedSize)) {
    *error = BeyondAnyStream(entry.unpackedSize, entry.storedSize);
    return false;
  }
  if (!IsCompressed(entry) && entry.unpackedSize > entry.storedSize) {
    *error = Format("the unpacked size %" PRIu32 " of an entry stored plain exceeds its %" PRIu32
                    " stored bytes",
                    entry.unpackedSize, entry.storedSize);
    return false;
  }
  StoredRange stored(archive, begin, &progress);
  switch (ProduceContent(entry, stored, work, target)) {
    case ContentResult::kOk: return true;
    case ContentResult::kReadFailed: *error = stored.error(); return false;
    case ContentResult::kSinkFailed: *error = target.WhyStopped(); return false;
    case ContentResult::kDamaged: break;
  }
  // Decoded again, to say how the stream goes wrong and after how many bytes.
  StoredRange again(archive, begin, nullptr);
  const StreamEnd streamEnd =
      DecodeStored(again, entry.storedSize, IsScrambled(entry), entry.unpackedSize, work, nullptr);
  *error = streamEnd.readFailed ? again.error()
                                : StreamDamage(streamEnd, entry.unpackedSize, entry.storedSize);
  return false;
}

bool ReadArchiveContent(const ArchiveBytes& archive, const ArchiveListing& listing, size_t index,
                        std::vector<uint8_t>* content, std::string* error) {
  std::vector<uint8_t> work(kContentWorkSize);
  content->clear();
  Gathered gathered(content);
  return ReadArchiveContent(archive, listing, index, work.data(), gathered, error);
}

std::vector<std::string> VerifyArchive(const ArchiveBytes& archive, VerifyProgress progress,
                                       void* context) {
  std::vector<std::string> problems;
  ArchiveListing listing;
  std::string error;
  if (!ReadArchiveListing(archive, &listing, &error)) {
    problems.push_back(error);
    return problems;
  }
  CheckNames(listing, &problems);
  uint64_t total = 0, done = 0;
  for (const ArchiveEntry& entry : listing.entries) total += entry.storedSize;
  std::vector<uint8_t> work(kContentWorkSize);
  CheckedOnly checked;
  const StoredProgress reading = [&](uint64_t read) {
    if (progress != nullptr) progress(done + read, total, context);
  };
  for (size_t i = 0; i < listing.entries.size(); ++i) {
    if (!ReadArchiveContent(archive, listing, i, work.data(), checked, &error, reading)) {
      problems.push_back(EntryPlace(listing.entries[i], i) + ": " + error);
    }
    done += listing.entries[i].storedSize;
    if (progress != nullptr) progress(done, total, context);
  }
  return problems;
}
