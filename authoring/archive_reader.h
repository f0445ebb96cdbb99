// Reads an update archive held in memory, for the packing tool: the header,
// the directory with each entry's data offset, each entry's content, and a
// check of every bound with a description of what is wrong and where.
// Unlike the updater's own reader it trusts nothing in the archive and
// reports every fault instead of stopping at the first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive_format.h"

struct ArchiveListing {
  ArchiveHeader header{};
  uint64_t archiveSize = 0;
  std::vector<ArchiveEntry> entries;
  std::vector<uint64_t> dataOffsets;  // where each entry's stored bytes begin
};

// The header and the expanded directory. False with `error` set when the
// archive is too short for its header, has another magic, or its directory
// cannot be read in full.
bool ReadArchiveListing(const uint8_t* image, size_t size, ArchiveListing* listing,
                        std::string* error);

// The content of entry `index`: unscrambled and expanded as its record says.
// False with `error` set when its stored bytes lie outside the data area,
// its sizes cannot hold, or its stream is damaged.
bool ReadArchiveContent(const uint8_t* image, size_t size, const ArchiveListing& listing,
                        size_t index, std::vector<uint8_t>* content, std::string* error);

// Whether the name ends with a NUL within its 260 bytes.
bool EntryNameIsTerminated(const ArchiveEntry& entry);

// The entry's name for people: code page 932 turned into UTF-8, with '?' for
// bytes that are not code page 932.
std::string EntryDisplayName(const ArchiveEntry& entry);

// Every fault of the archive, one line each ("entry 3 \"a.dat\": ...");
// none for a sound archive. `progress`, when given, is told the stored bytes
// checked so far.
using VerifyProgress = void (*)(uint64_t done, uint64_t total, void* context);
std::vector<std::string> VerifyArchive(const uint8_t* image, size_t size,
                                       VerifyProgress progress = nullptr,
                                       void* context = nullptr);
