// Files of the host for updpack: reading whole files, writing them so that
// nothing half-written is ever left at the target path, walking folders,
// and the conversion between modification times and FILETIME values.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/win_types.h"

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, struct stat* info,
                   std::string* error);

// Writes `bytes` to a temporary file beside `path` (removed again on any
// failure, or when the process is interrupted) and renames it over `path`.
// With `mtime`, the file gets that modification time first.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                         const win::FileTime* mtime, std::string* error);

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
