// Files of the host for updpack: reading whole files, writing them so that
// nothing half-written is ever left at the target path, walking folders,
// and the conversion between modification times and FILETIME values.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/win_types.h"
#include "host/file_time.h"
#include "tools/updpack/files/atomic_file.h"

// Opens a file for reading and gives its status in `info`; -1 with `error`
// set when it cannot be opened or is larger than `limit` (refused by its
// size before anything is read).
int OpenInput(const std::string& path, struct stat* info, std::string* error,
              uint64_t limit = UINT64_MAX);
// Reads exactly `size` bytes; false with errno set (EIO when the file ends
// first).
bool ReadFully(int fd, uint8_t* out, size_t size);

// Reads a whole file. With `limit`, a file larger than that is refused by
// its size before anything is read or allocated.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, struct stat* info,
                   std::string* error, uint64_t limit = UINT64_MAX);

// Writing whole files so that nothing half-written appears: atomic_file.h.
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
// "2024-05-01T12:30:00.1234567Z"
std::string IsoDateFromFileTime(win::FileTime time);
