// Writing one archive entry, or a memory block, to a file on disk.
#pragma once

#include <cstdint>

#include "core/win_types.h"

// Writes the content of the entry `name` to `destinationPath` (a full DOS
// path beginning with a drive letter and a colon) with the entry's file time.
// With `onlyIfNewer`, an existing file whose last-write time is later than the
// entry's stays in place. 1 when written or left in place, else 0.
int ExtractEntry(const char* name, const char* destinationPath, int onlyIfNewer);

struct ArchiveEntry;
struct EntryContent;

// Stops with the disk-space message when the drive of `destinationPath` has
// fewer free bytes than `needed`. A drive whose free space cannot be asked
// passes: the write itself then fails without touching the installed file.
bool EnoughSpace(const char* destinationPath, uint64_t needed);

// The first steps of ExtractEntry: finds the entry, checks the free space on
// the destination's drive (unless `destinationPath` is nullptr: the caller
// asked already) and loads its content (released by the caller with
// ReleaseEntryContent). nullptr after the step's message when one fails.
const ArchiveEntry* PrepareEntry(const char* name, const char* destinationPath,
                                 EntryContent* content);

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
