#include "tools/updpack/files/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/updpack/commands/tool_messages.h"
#include "tools/updpack/files/host_files.h"

namespace {

// The named temporary file being written, removed if the process is
// interrupted.
char gTemporaryPath[4096];

void RemoveTemporaryAndStop(int signalNumber) {
  if (gTemporaryPath[0] != '\0') unlink(gTemporaryPath);
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

void GuardTemporary(const std::string& path) {
  std::snprintf(gTemporaryPath, sizeof gTemporaryPath, "%s", path.c_str());
  for (int s : {SIGINT, SIGTERM, SIGHUP}) std::signal(s, RemoveTemporaryAndStop);
}

void ReleaseTemporary() {
  for (int s : {SIGINT, SIGTERM, SIGHUP}) std::signal(s, SIG_DFL);
  gTemporaryPath[0] = '\0';
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= size_t(written);
  }
  return true;
}

std::string TemporaryName(const std::string& folder) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string name = folder + ".updpack-";
  for (int i = 0; i < 8; ++i) name += kLetters[uint32_t(std::rand()) % (sizeof kLetters - 1)];
  return name + ".tmp";
}

}  // namespace

int CreateTemporaryFile(const std::string& folder, bool unnamed, std::string* named) {
  named->clear();
#ifdef O_TMPFILE
  if (unnamed) {
    const int fd =
        open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
  }
#endif
  std::string name = folder + ".updpack-XXXXXX";
  const int fd = mkstemp(&name[0]);
  if (fd >= 0) *named = name;
  return fd;
}

AtomicFile::~AtomicFile() { Abandon(); }

void AtomicFile::Abandon() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!named_.empty()) {
    unlink(named_.c_str());
    ReleaseTemporary();
    named_.clear();
  }
}

bool AtomicFile::Open(const std::string& path, std::string* error) {
  Abandon();
  path_ = path;
  const size_t slash = path.rfind('/');
  folder_ = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  // Unnamed, when /proc/self/fd can give it a name at the end.
  std::string named;
  fd_ = CreateTemporaryFile(folder_, access("/proc/self/fd", X_OK) == 0, &named);
  if (fd_ < 0) {
    *error = SystemError("cannot create a file beside", path);
    return false;
  }
  if (named.empty()) return true;
  named_ = named;
  GuardTemporary(named_);
  return true;
}

bool AtomicFile::Append(const uint8_t* data, size_t size, std::string* error) {
  if (fd_ >= 0 && WriteAll(fd_, data, size)) return true;
  *error = SystemError("cannot write", path_);
  return false;
}

bool AtomicFile::AppendZeros(size_t count, std::string* error) {
  static const uint8_t kZeros[16] = {};
  while (count > 0) {
    const size_t take = count < sizeof kZeros ? count : sizeof kZeros;
    if (!Append(kZeros, take, error)) return false;
    count -= take;
  }
  return true;
}

bool AtomicFile::WriteAt(uint64_t offset, const std::vector<uint8_t>& bytes, std::string* error) {
  if (fd_ >= 0 && pwrite(fd_, bytes.data(), bytes.size(), off_t(offset)) == ssize_t(bytes.size())) {
    return true;
  }
  *error = SystemError("cannot write", path_);
  return false;
}

bool AtomicFile::Commit(const win::FileTime* mtime, bool sync, std::string* error) {
  const mode_t mask = umask(0);
  umask(mask);
  bool ok = fd_ >= 0 && fchmod(fd_, 0666 & ~mask) == 0;
  if (ok && mtime != nullptr) {
    const struct timespec times[2] = {TimespecFromFileTime(*mtime), TimespecFromFileTime(*mtime)};
    ok = futimens(fd_, times) == 0;
  }
  if (ok && sync) ok = fsync(fd_) == 0;
  if (!ok) {
    *error = SystemError("cannot write", path_);
    Abandon();
    return false;
  }
  if (named_.empty()) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    // Where nothing is in the way, the unnamed file takes its name in one
    // step, so that no moment leaves a temporary name behind.
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      close(fd_);
      fd_ = -1;
      return true;
    }
    // Otherwise named beside the path, for the rename over what is there.
    std::string temporary;
    int linked = -1;
    for (int attempt = 0; attempt < 100 && linked != 0; ++attempt) {
      temporary = TemporaryName(folder_);
      linked = linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW);
      if (linked != 0 && errno != EEXIST) break;
    }
    if (linked != 0) {
      *error = SystemError("cannot create a file beside", path_);
      Abandon();
      return false;
    }
    named_ = temporary;
    GuardTemporary(named_);
  }
  close(fd_);
  fd_ = -1;
  if (rename(named_.c_str(), path_.c_str()) != 0) {
    *error = SystemError("cannot put the new file in place at", path_);
    Abandon();
    return false;
  }
  ReleaseTemporary();
  named_.clear();
  return true;
}
