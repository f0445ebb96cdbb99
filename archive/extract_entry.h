// Writing one archive entry, or a memory block, to a file on disk.
#pragma once

#include <cstdint>

#include "archive/archive_directory.h"
#include "core/win_types.h"

// Writes the content of the entry `name` to `destinationPath` (a full DOS
// path beginning with a drive letter and a colon) with the entry's file time.
// With `onlyIfNewer`, an existing file whose last-write time is later than the
// entry's stays in place. 1 when written or left in place, else 0.
int ExtractEntry(const char* name, const char* destinationPath, int onlyIfNewer);

struct ArchiveEntry;

// Stops with the disk-space message when the drive of `destinationPath` has
// fewer free bytes than `needed`. A drive whose free space cannot be asked
// passes: the write itself then fails without touching the installed file.
bool EnoughSpace(const char* destinationPath, uint64_t needed);

// The first steps of ExtractEntry: finds the entry and its stored bytes in
// the image, and checks the free space on the destination's drive (unless
// `destinationPath` is nullptr: the caller asked already). nullptr after
// the step's message when one fails.
const ArchiveEntry* PrepareEntry(const char* name, const char* destinationPath,
                                 const uint8_t** stored);

// What a file is written with: `size` bytes at `bytes`, or, when `entry`
// is set, that entry's content from its stored bytes at `stored`, produced
// piece by piece.
struct FileContent {
  const void* bytes;
  uint32_t size;
  const ArchiveEntry* entry;
  const uint8_t* stored;
};
FileContent BlockContent(const void* bytes, uint32_t size);
FileContent EntryFileContent(const ArchiveEntry* entry, const uint8_t* stored);

// Writes `content` to the open `file` from its current place. kOk, or why
// not: kNoMemory, kDamaged (ShowContentError tells them) or kWriteFailed.
// Shows no message.
ContentStatus WriteContent(win::Handle file, const FileContent& content);

// True when the file at `path` has a last-write time later than `entryTime`
// (false when it cannot be opened or its time cannot be read).
bool ExistingFileIsNewer(const char* path, win::FileTime entryTime);

// Removes the temporary files that writes beside `path` left when they were
// killed: the names that they take first, in order, up to the first that is
// free (a later write takes the lowest free name, so leftovers lie below it).
void RemoveTemporaryLeftovers(const char* path);

// Writes `size` bytes to `path` so that the file is either wholly replaced or
// left exactly as it was, and gives it `fileTime` (when not null) as creation,
// last-access and last-write time. 1 on success, else 0. Shows no message.
int WriteWholeFile(const char* path, const void* buffer, uint32_t size,
                   const win::FileTime* fileTime);

// WriteWholeFile for any content; `status` (when given) tells why it failed.
bool WriteWholeContent(const char* path, const FileContent& content, const win::FileTime* fileTime,
                       ContentStatus* status);
