// Reads an update archive for the packing tool: the header, the directory
// with each entry's data offset, each entry's content, and a check of every
// bound with a description of what is wrong and where. The archive is read
// a piece at a time (authoring/archive_bytes.h), never whole: the header and
// the directory are read as the entry count asks, and an entry's content is
// produced piece by piece (archive/content_stream.h).
// Unlike the updater's own reader it trusts nothing in the archive and
// reports every fault instead of stopping at the first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/content_stream.h"
#include "authoring/archive_bytes.h"

struct ArchiveListing {
  ArchiveHeader header{};
  uint64_t archiveSize = 0;
  std::vector<ArchiveEntry> entries;
  std::vector<uint64_t> dataOffsets;  // where each entry's stored bytes begin
};

// The header and the expanded directory. False with `error` set when the
// archive is too short for its header, has another magic, or its directory
// cannot be read in full.
bool ReadArchiveListing(const ArchiveBytes& archive, ArchiveListing* listing, std::string* error);

// Where an entry's content goes, a piece at a time; says why it stopped
// taking pieces when it did.
class ContentTarget : public ContentSink {
 public:
  virtual std::string WhyStopped() const = 0;

 protected:
  ~ContentTarget() = default;
};

// Told how many of the entry's stored bytes have been read so far.
using StoredProgress = std::function<void(uint64_t read)>;

// The content of entry `index`, unscrambled and expanded as its record says,
// handed to `target` piece by piece through `work` (kContentWorkSize bytes).
// False with `error` set when its stored bytes lie outside the data area or
// cannot be read, its sizes cannot hold, its stream is damaged (said how and
// where), or `target` stops (said why); `target` may then have taken part of
// the content.
bool ReadArchiveContent(const ArchiveBytes& archive, const ArchiveListing& listing, size_t index,
                        uint8_t* work, ContentTarget& target, std::string* error,
                        const StoredProgress& progress = nullptr);

// The same, gathered whole in `content`: for entries that are small
// (UPDATE.INI) and for tests.
bool ReadArchiveContent(const ArchiveBytes& archive, const ArchiveListing& listing, size_t index,
                        std::vector<uint8_t>* content, std::string* error);

// Whether the name ends with a NUL within its 260 bytes.
bool EntryNameIsTerminated(const ArchiveEntry& entry);

// The entry's name for people: code page 932 turned into UTF-8, with '?' for
// bytes that are not code page 932.
std::string EntryDisplayName(const ArchiveEntry& entry);

// Every fault of the archive, one line each ("entry 3 \"a.dat\": ...");
// none for a sound archive. `progress`, when given, is told the stored bytes
// checked so far.
using VerifyProgress = void (*)(uint64_t done, uint64_t total, void* context);
std::vector<std::string> VerifyArchive(const ArchiveBytes& archive,
                                       VerifyProgress progress = nullptr, void* context = nullptr);
