#include "tools/updpack/files/scratch_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/updpack/commands/tool_messages.h"
#include "tools/updpack/files/atomic_file.h"

ScratchFile::~ScratchFile() {
  if (fd_ >= 0) close(fd_);
}

std::string ScratchFile::Failure(const std::string& what) const {
  return SystemError(what + " a temporary file in", folder_.empty() ? "." : folder_);
}

bool ScratchFile::Create(const std::string& folder, std::string* error) {
  folder_ = folder;
  std::string named;
  fd_ = CreateTemporaryFile(folder, true, &named);
  if (fd_ < 0) {
    *error = Failure("cannot create");
    return false;
  }
  // A named file goes at once: the open descriptor keeps it.
  if (!named.empty()) unlink(named.c_str());
  return true;
}

bool ScratchFile::Append(const uint8_t* data, size_t size, std::string* error) {
  while (size > 0) {
    const ssize_t written = pwrite(fd_, data, size, off_t(size_));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = ENOSPC;
      *error = Failure("cannot write");
      return false;
    }
    data += written;
    size -= size_t(written);
    size_ += uint64_t(written);
  }
  return true;
}

bool ScratchFile::Truncate(std::string* error) {
  if (ftruncate(fd_, 0) != 0) {
    *error = Failure("cannot write");
    return false;
  }
  size_ = 0;
  return true;
}

bool ScratchFile::ReadAt(uint64_t offset, uint8_t* out, size_t size, std::string* error) const {
  while (size > 0) {
    const ssize_t got = pread(fd_, out, size, off_t(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got == 0) errno = EIO;
      *error = Failure("cannot read");
      return false;
    }
    out += got;
    size -= size_t(got);
    offset += uint64_t(got);
  }
  return true;
}
