// A file that appears at its path only complete: written beside the path and
// renamed over it at the end, so the path holds the old file or the new
// one. On Linux it is written unnamed (O_TMPFILE) and named
// ".updpack-XXXXXXXX.tmp" only for the instant before the rename, so no
// kill leaves it behind; elsewhere a file ".updpack-XXXXXX" is written and
// removed on failure, on Ctrl-C and when abandoned. The temporary name is
// short, so any name a folder takes can be written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/win_types.h"

// A new file in `folder` (empty, or ending in '/'), readable and writable
// by its owner alone: unnamed when `unnamed` and the file system has such
// files (O_TMPFILE), else named ".updpack-XXXXXX" (the name in `named`).
// -1 with errno set when it cannot be created.
int CreateTemporaryFile(const std::string& folder, bool unnamed, std::string* named);

class AtomicFile {
 public:
  AtomicFile() = default;
  // Without Commit the file is abandoned: nothing appears at the path.
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  bool Open(const std::string& path, std::string* error);
  bool Append(const uint8_t* data, size_t size, std::string* error);
  bool AppendZeros(size_t count, std::string* error);
  bool WriteAt(uint64_t offset, const std::vector<uint8_t>& bytes, std::string* error);
  // Gives the file `mtime` (when given), flushes it to disk when `sync`,
  // and puts it in place.
  bool Commit(const win::FileTime* mtime, bool sync, std::string* error);

 private:
  void Abandon();

  std::string path_;
  std::string folder_;  // with its trailing slash, or empty
  std::string named_;   // the temporary file's name, when it has one
  int fd_ = -1;
};
