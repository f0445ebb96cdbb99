// Small questions and steps on files that the logic asks again and again,
// over the platform tables: the callers need not know which table a file
// function lives in. Each helper makes the same table calls, in the same
// order, as the lines it stands for; tests that wrap the tables see them.
// A failed call is never taken for an answer: an absence is told only when
// two different calls agree on it.
#pragma once

#include <cstdint>

#include "core/win_types.h"

// ---- One call each

// The attributes of what is at `path` by one call: kInvalidFileAttributes
// when nothing is there or they cannot be read (ReadAttributes tells the two
// apart).
win::Dword AttributesOf(const char* path);

// Gives what is at `path` the attributes; false when they cannot be set.
bool SetAttributes(const char* path, win::Dword attributes);

// Clears every attribute of what is at `path` (a read-only file becomes
// writable); false when that fails.
bool MakeWritable(const char* path);

// Opens the existing file at `path` for reading, shared with other readers;
// InvalidHandle when it cannot be opened.
win::Handle OpenForReading(const char* path);

// Opens or creates the file at `path` for writing, unshared, as
// `disposition` (kCreateNew, kCreateAlways, kOpenExisting) says;
// InvalidHandle when that fails.
win::Handle OpenForWriting(const char* path, win::Dword disposition);

// Closes an open file (its result says nothing the callers act on).
void CloseFile(win::Handle file);

// Writes all `size` bytes at the file's position; false when the write
// fails or is short.
bool WriteAll(win::Handle file, const void* bytes, win::Dword size);

// Flushes what was written to an open file to the disk; false when that
// fails.
bool FlushFile(win::Handle file);

// The file's size; false when it cannot be read.
bool ReadFileSize(win::Handle file, uint64_t* size);

// The last-write time of an open file; false when it cannot be read.
bool ReadLastWriteTime(win::Handle file, win::FileTime* lastWrite);

// Gives an open file `time` as its creation, last-access and last-write
// time; false when that fails.
bool SetAllTimes(win::Handle file, const win::FileTime& time);

// Deletes the file at `path`; false when it fails (also when nothing is
// there).
bool RemoveFile(const char* path);

// Renames `from` to `to` with MoveFileExA's `flags`; false when it fails.
bool RenameFile(const char* from, const char* to, win::Dword flags);

// Makes the folder `path` (its parent must exist); false when it fails,
// also when the folder was there already.
bool CreateFolder(const char* path);

// Removes the empty folder (or the link to a folder) `path`; false when it
// fails.
bool RemoveFolder(const char* path);

// ---- A few calls each

// The attributes of what is at `path` in `attributes`, or
// kInvalidFileAttributes when nothing is there. False when that cannot be
// told: the attributes cannot be read, yet the file opens.
bool ReadAttributes(const char* path, win::Dword* attributes);

// True only when nothing is at `path` (ReadAttributes says so).
bool IsAbsent(const char* path);

// Flushes an open file to the disk and closes it (also when the flush
// fails); true when it was flushed.
bool FlushAndClose(win::Handle file);

// Reads the times of the file at `path` into those of `creation`,
// `lastAccess` and `lastWrite` that are not nullptr. False when it cannot be
// opened or the times cannot be read.
bool ReadFileTimes(const char* path, win::FileTime* creation, win::FileTime* lastAccess,
                   win::FileTime* lastWrite);

// Gives the file at `path` the three times. False when it cannot be opened
// or the times cannot be set.
bool SetFileTimes(const char* path, const win::FileTime& creation, const win::FileTime& lastAccess,
                  const win::FileTime& lastWrite);

// What ReadWholeFile found.
enum class WholeFileReading {
  kRead,      // `*block` holds the whole file
  kTooLarge,  // the file is larger than the limit; nothing was read
  kFailed,    // its size, a block or the read failed
};

// Reads the whole of the open `file`, from its position, into a new fixed
// block of its size plus `spare` bytes (the caller frees it with
// GlobalFree), its size in `size`. A file of more than `limit` bytes is not
// read.
WholeFileReading ReadWholeFile(win::Handle file, uint32_t limit, uint32_t spare, void** block,
                               uint32_t* size);
