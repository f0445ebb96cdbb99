#include "tools/updpack/scratch_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/updpack/atomic_file.h"
#include "tools/updpack/tool_messages.h"

namespace {

std::string Problem(const std::string& what, const std::string& folder) {
  return what + " a temporary file in " + Quoted(folder.empty() ? "." : folder) + ": " +
         std::strerror(errno);
}

}  // namespace

ScratchFile::~ScratchFile() {
  if (fd_ >= 0) close(fd_);
}

bool ScratchFile::Create(const std::string& folder, std::string* error) {
  folder_ = folder;
  std::string named;
  fd_ = CreateTemporaryFile(folder, true, &named);
  if (fd_ < 0) {
    *error = Problem("cannot create", folder);
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
      *error = Problem("cannot write", folder_);
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
    *error = Problem("cannot write", folder_);
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
      *error = Problem("cannot read", folder_);
      return false;
    }
    out += got;
    size -= size_t(got);
    offset += uint64_t(got);
  }
  return true;
}
