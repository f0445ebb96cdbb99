// The archive's in-memory directory: building it from the image, looking up
// entries by name and reading an entry's content into memory.
#pragma once

#include <cstdint>

#include "archive/archive_format.h"

// Builds the directory from `archiveImage` / `archiveImageSize`. Returns a
// new block of 16 + entryCount * 280 bytes, or nullptr when a block cannot be
// taken or the image is not a sound archive (bad magic, a header, directory
// or entry data that does not lie inside the image). Shows no message.
ArchiveDirectory* OpenArchive();

// Frees a directory made by OpenArchive.
void CloseArchive(ArchiveDirectory* directory);

// The first record whose name equals `name` (compared as lstrcmpiA does),
// with the position of its stored bytes in the image; nullptr when none.
const ArchiveEntry* FindEntry(const char* name, const uint8_t** storedBytes);

// An entry's content: its stored bytes, unscrambled and decompressed where
// the record says so. `ownedBlock` is set when the content lives in a block
// of its own that ReleaseEntryContent frees; otherwise the content points into
// the image and must not be written.
struct EntryContent {
  const uint8_t* bytes;
  uint32_t size;
  void* ownedBlock;
};

enum class ContentStatus { kOk, kNoMemory, kDamaged, kWriteFailed };

ContentStatus LoadEntryContent(const ArchiveEntry& entry, const uint8_t* storedBytes,
                               EntryContent* content);
void ReleaseEntryContent(EntryContent* content);

// Reads an entry's content. nullptr after a message when the entry is
// missing, a block cannot be taken or the stored data is damaged. On success
// `size` (when given) receives unpackedSize, and `owned` (when given) says
// whether the result is a block the caller frees with GlobalFree.
uint8_t* ReadEntry(const char* name, uint32_t* size, bool* owned);

// Shows the message for content of the entry `name` that could not be had:
// no memory for it, or damaged stored bytes (nothing for a failed write).
void ShowContentError(ContentStatus status, const char* name);
