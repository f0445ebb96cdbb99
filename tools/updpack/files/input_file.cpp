#include "tools/updpack/files/input_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "tools/updpack/commands/tool_messages.h"
#include "tools/updpack/files/host_files.h"

InputFile::~InputFile() {
  if (fd_ >= 0) close(fd_);
}

bool InputFile::Open(const std::string& path, std::string* error, uint64_t limit) {
  struct stat info;
  const int fd = OpenInput(path, &info, error, limit);
  if (fd < 0) return false;
  if (fd_ >= 0) close(fd_);
  fd_ = fd;
  size_ = uint64_t(info.st_size);
  path_ = path;
  return true;
}

bool InputFile::ReadAt(uint64_t offset, uint8_t* to, size_t count, std::string* error) const {
  while (count > 0) {
    const ssize_t got = pread(fd_, to, count, off_t(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *error = SystemError("cannot read", path_) + " (at byte " + std::to_string(offset) + ")";
      return false;
    }
    if (got == 0) {
      *error = "cannot read " + Quoted(path_) + ": it ends before byte " + std::to_string(offset) +
               ", though it had " + std::to_string(size_) +
               " bytes when it was opened (it was made shorter while being read)";
      return false;
    }
    to += got;
    count -= size_t(got);
    offset += uint64_t(got);
  }
  return true;
}

bool InputFile::ReadPieces(uint64_t offset, uint64_t count, const PieceTaker& take,
                           std::string* error) const {
  std::vector<uint8_t> piece(size_t(std::min<uint64_t>(count, kPieceSize)));
  while (count > 0) {
    const size_t n = size_t(std::min<uint64_t>(count, piece.size()));
    if (!ReadAt(offset, piece.data(), n, error) || !take(piece.data(), n, error)) return false;
    offset += n;
    count -= n;
  }
  return true;
}
