#include "tools/updpack/packing/input_snapshot.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/updpack/commands/tool_messages.h"
#include "tools/updpack/files/host_files.h"

namespace {

// Copies `size` bytes of `from` into `to`, in the kernel where it can.
bool CopyInto(int from, uint64_t size, ScratchFile* to, std::string* readError,
              std::string* writeError) {
  uint64_t done = 0;
  while (done < size) {
    loff_t at = loff_t(done);
    const ssize_t copied = copy_file_range(from, nullptr, to->fd(), &at, size - done, 0);
    if (copied < 0 && errno == EINTR) continue;
    if (copied < 0 &&
        (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
      break;  // not between these files: by reading and writing
    }
    if (copied <= 0) {
      if (copied == 0) errno = EIO;  // the file shrank while being read
      if (errno == ENOSPC || errno == EDQUOT) {
        *writeError = to->Failure("cannot write");
      } else {
        *readError = std::strerror(errno);
      }
      return false;
    }
    done += uint64_t(copied);
    to->SetSize(done);
  }
  std::vector<uint8_t> piece(size_t(1) << 20);
  while (done < size) {
    const size_t take = size - done < piece.size() ? size_t(size - done) : piece.size();
    if (!ReadFully(from, piece.data(), take)) {
      *readError = std::strerror(errno);
      return false;
    }
    if (!to->Append(piece.data(), take, writeError)) return false;
    done += take;
  }
  return true;
}

}  // namespace

InputSnapshot::~InputSnapshot() { Unmap(); }

void InputSnapshot::Unmap() {
  if (mapped_ != nullptr) munmap(mapped_, size_);
  mapped_ = nullptr;
}

bool InputSnapshot::Take(const std::string& path, uint64_t limit, uint64_t copyFrom,
                         const std::string& scratchFolder, std::string* error) {
  const int fd = OpenInput(path, &info_, error, limit);
  if (fd < 0) return false;
  size_ = size_t(info_.st_size);
  bool ok;
  if (size_ < copyFrom || size_ == 0) {
    bytes_.resize(size_);
    ok = ReadFully(fd, bytes_.data(), size_);
    if (!ok) *error = SystemError("cannot read", path);
  } else {
    copy_ = std::make_unique<ScratchFile>();
    std::string readError;
    ok = copy_->Create(scratchFolder, error) && CopyInto(fd, size_, copy_.get(), &readError, error);
    if (!readError.empty()) *error = "cannot read " + Quoted(path) + ": " + readError;
    if (ok) {
      void* at = mmap(nullptr, size_, PROT_READ, MAP_SHARED, copy_->fd(), 0);
      ok = at != MAP_FAILED;
      if (ok) {
        mapped_ = static_cast<uint8_t*>(at);
      } else {
        *error = SystemError("cannot map the copy of", path);
      }
    }
  }
  close(fd);
  return ok;
}

void InputSnapshot::NoteProgress(uint64_t bytes) {
  if (mapped_ == nullptr) return;
  if (sinceGiveBack_.fetch_add(bytes) + bytes < kGiveBackEvery) return;
  sinceGiveBack_ = 0;
  // The pages are clean pages of the copy: dropping them loses nothing.
  madvise(mapped_, size_, MADV_DONTNEED);
}

std::vector<uint8_t> InputSnapshot::TakeBytes() { return std::move(bytes_); }

std::unique_ptr<ScratchFile> InputSnapshot::TakeCopy() {
  Unmap();
  return std::move(copy_);
}
