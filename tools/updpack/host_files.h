// Files of the host for updpack: reading whole files, writing them so that
// nothing half-written is ever left at the target path, walking folders,
// and the conversion between modification times and FILETIME values.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/win_types.h"

// Reads a whole file. With `limit`, a file larger than that is refused by
// its size before anything is read or allocated.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, struct stat* info,
                   std::string* error, uint64_t limit = UINT64_MAX);

// Writes `bytes` to a temporary file beside `path` and renames it over
// `path`, so that `path` is either as it was or complete. On Linux the file
// is written unnamed (O_TMPFILE) and named ".updpack-XXXXXXXX.tmp" only for
// the instant before the rename, so no kill leaves it behind; elsewhere the
// named file is removed on any failure or interruption. The temporary name
// is short, so any name the folder takes can be written. With `mtime`, the
// file gets that modification time first. With `sync` false the file is not
// flushed to disk before the rename (SyncFilesUnder does it for many).
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                         const win::FileTime* mtime, std::string* error, bool sync = true);

// Flushes the file system that holds `folder` to disk.
bool SyncFilesUnder(const std::string& folder, std::string* error);

// Creates a folder and the folders above it as needed.
bool MakeFolders(const std::string& path, std::string* error);

// A file found under the paths given to `create`.
struct FoundFile {
  std::string path;  // as reached from the given path
  std::string name;  // its own name, the last part of the path
  uint64_t size;     // as found
};

// The files named and the files inside the folders named, recursively
// (following symbolic links; a folder that contains itself is refused).
// Sorted by path within each folder. `output`, the file to be written, must
// not be one of them (compared by device and inode, whatever the spelling,
// hard links included): that is refused, as writing it would destroy an
// input.
bool CollectFiles(const std::vector<std::string>& paths, const std::string& output,
                  std::vector<FoundFile>* files, std::string* error);

// FILETIME (100 ns since 1601-01-01 UTC) and the host's times.
bool FileTimeFromStat(const struct stat& info, win::FileTime* time);
struct timespec TimespecFromFileTime(win::FileTime time);
// "2024-05-01T12:30:00.1234567Z"
std::string IsoDateFromFileTime(win::FileTime time);
