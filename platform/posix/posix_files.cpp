// File functions on POSIX over the drive map. Windows semantics that the
// updater relies on are kept: a read-only file cannot be opened for writing,
// replaced or deleted (even by root), directories are not files, and times
// are FILETIMEs of 100-nanosecond ticks.
//
// Attributes: a directory reads as FILE_ATTRIBUTE_DIRECTORY; a file without
// the owner's write permission as FILE_ATTRIBUTE_READONLY, otherwise
// FILE_ATTRIBUTE_NORMAL. Setting attributes sets or clears that bit.
// Times: last-access and last-write are the host's atime and mtime; the host
// keeps no settable creation time, so the creation time reads as mtime.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/file_time.h"
#include "platform/posix/drive_map.h"
#include "platform/posix/posix_functions.h"

namespace {

struct PosixFile {
  int fd;
};

PosixFile* FileOf(win::Handle handle) {
  if (handle == nullptr || handle == win::InvalidHandle()) return nullptr;
  return static_cast<PosixFile*>(handle);
}

bool HostPath(const char* dosPath, std::string* host) { return DosToHostPath(dosPath, host); }

bool IsReadOnly(const struct stat& st) { return (st.st_mode & S_IWUSR) == 0; }

}  // namespace

win::Handle WINAPI_CC PosixCreateFileA(const char* path, win::Dword access, win::Dword share, void*,
                                       win::Dword disposition, win::Dword, win::Handle) {
  std::string host;
  if (!HostPath(path, &host)) return win::InvalidHandle();
  bool reading = access & win::kGenericRead;
  bool writing = access & win::kGenericWrite;
  int flags = (reading && writing) ? O_RDWR : writing ? O_WRONLY : O_RDONLY;
  switch (disposition) {
    case 1: flags |= O_CREAT | O_EXCL; break;   // CREATE_NEW
    case 2: flags |= O_CREAT | O_TRUNC; break;  // CREATE_ALWAYS
    case 3: break;                              // OPEN_EXISTING
    case 4: flags |= O_CREAT; break;            // OPEN_ALWAYS
    case 5: flags |= O_TRUNC; break;            // TRUNCATE_EXISTING
    default: return win::InvalidHandle();
  }
  struct stat st;
  if (stat(host.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return win::InvalidHandle();
    if (writing && IsReadOnly(st)) return win::InvalidHandle();
  }
  // Truncation waits for the lock below, so that a refused open changes nothing.
  const bool truncate = flags & O_TRUNC;
  int fd = open(host.c_str(), (flags & ~O_TRUNC) | O_CLOEXEC, 0666);
  if (fd < 0) return win::InvalidHandle();
  // No sharing: a second such open of the same file fails while this one
  // lasts, as on Windows (the lock ends with the handle or the process).
  if ((share == 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) || (truncate && ftruncate(fd, 0) != 0)) {
    close(fd);
    return win::InvalidHandle();
  }
  return new PosixFile{fd};
}

win::Bool WINAPI_CC PosixWriteFile(win::Handle handle, const void* buffer, win::Dword size,
                                   win::Dword* written, void*) {
  PosixFile* file = FileOf(handle);
  if (written != nullptr) *written = 0;
  if (file == nullptr) return 0;
  const char* p = static_cast<const char*>(buffer);
  win::Dword done = 0;
  while (done < size) {
    ssize_t n = write(file->fd, p + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (written != nullptr) *written = done;
      return 0;
    }
    done += win::Dword(n);
  }
  if (written != nullptr) *written = done;
  return 1;
}

win::Bool WINAPI_CC PosixReadFile(win::Handle handle, void* buffer, win::Dword size,
                                  win::Dword* read, void*) {
  PosixFile* file = FileOf(handle);
  if (read != nullptr) *read = 0;
  if (file == nullptr) return 0;
  char* p = static_cast<char*>(buffer);
  win::Dword done = 0;
  while (done < size) {
    ssize_t n = ::read(file->fd, p + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return 0;
    if (n == 0) break;
    done += win::Dword(n);
  }
  if (read != nullptr) *read = done;
  return 1;
}

win::Dword WINAPI_CC PosixGetFileSize(win::Handle handle, win::Dword* sizeHigh) {
  PosixFile* file = FileOf(handle);
  struct stat st;
  if (file == nullptr || fstat(file->fd, &st) != 0) return win::kInvalidFileSize;
  uint64_t size = uint64_t(st.st_size);
  if (sizeHigh != nullptr) *sizeHigh = win::Dword(size >> 32);
  return win::Dword(size);
}

win::Dword WINAPI_CC PosixSetFilePointer(win::Handle handle, win::Long distance,
                                         win::Long* distanceHigh, win::Dword method) {
  PosixFile* file = FileOf(handle);
  if (file == nullptr || method > 2) return win::kInvalidFileSize;
  int64_t offset = distanceHigh != nullptr
                       ? int64_t((uint64_t(uint32_t(*distanceHigh)) << 32) | uint32_t(distance))
                       : int64_t(distance);
  static const int kWhence[3] = {SEEK_SET, SEEK_CUR, SEEK_END};
  off_t position = lseek(file->fd, off_t(offset), kWhence[method]);
  if (position < 0) return win::kInvalidFileSize;
  if (distanceHigh != nullptr) *distanceHigh = win::Long(uint64_t(position) >> 32);
  return win::Dword(uint64_t(position));
}

win::Bool WINAPI_CC PosixCloseHandle(win::Handle handle) {
  PosixFile* file = FileOf(handle);
  if (file == nullptr) return 0;
  int result = close(file->fd);
  delete file;
  return result == 0 ? 1 : 0;
}

// A symbolic link reads as Windows reads a link: by its own attributes, the
// reparse-point bit with the directory bit of what it points to.
win::Dword WINAPI_CC PosixGetFileAttributesA(const char* path) {
  std::string host;
  struct stat st;
  if (!HostPath(path, &host) || lstat(host.c_str(), &st) != 0) return win::kInvalidFileAttributes;
  if (S_ISLNK(st.st_mode)) {
    const bool folder = stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    return win::kAttributeReparsePoint | (folder ? win::kAttributeDirectory : 0);
  }
  if (S_ISDIR(st.st_mode)) return win::kAttributeDirectory;
  return IsReadOnly(st) ? win::kAttributeReadonly : win::kAttributeNormal;
}

win::Bool WINAPI_CC PosixSetFileAttributesA(const char* path, win::Dword attributes) {
  std::string host;
  struct stat st;
  if (!HostPath(path, &host) || stat(host.c_str(), &st) != 0) return 0;
  mode_t mode = st.st_mode & 07777;
  mode = (attributes & win::kAttributeReadonly) ? (mode & ~mode_t(0222)) : (mode | S_IWUSR);
  return chmod(host.c_str(), mode) == 0 ? 1 : 0;
}

win::Bool WINAPI_CC PosixDeleteFileA(const char* path) {
  std::string host;
  struct stat st;
  if (!HostPath(path, &host) || lstat(host.c_str(), &st) != 0) return 0;
  if (S_ISDIR(st.st_mode) || IsReadOnly(st)) return 0;
  return unlink(host.c_str()) == 0 ? 1 : 0;
}

win::Bool WINAPI_CC PosixCreateDirectoryA(const char* path, void*) {
  std::string host;
  if (!HostPath(path, &host)) return 0;
  return mkdir(host.c_str(), 0777) == 0 ? 1 : 0;
}

win::Bool WINAPI_CC PosixMoveFileExA(const char* from, const char* to, win::Dword flags) {
  std::string hostFrom, hostTo;
  if (!HostPath(from, &hostFrom) || !HostPath(to, &hostTo)) return 0;
  struct stat st;
  if (stat(hostTo.c_str(), &st) == 0) {
    if (!(flags & win::kMoveFileReplaceExisting) || S_ISDIR(st.st_mode) || IsReadOnly(st)) {
      return 0;
    }
  }
  if (rename(hostFrom.c_str(), hostTo.c_str()) != 0) return 0;
  if (flags & win::kMoveFileWriteThrough) {
    std::string folder = hostTo.substr(0, hostTo.find_last_of('/') + 1);
    int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
      fsync(fd);
      close(fd);
    }
  }
  return 1;
}

win::Bool WINAPI_CC PosixFlushFileBuffers(win::Handle handle) {
  PosixFile* file = FileOf(handle);
  return file != nullptr && fsync(file->fd) == 0 ? 1 : 0;
}

win::Bool WINAPI_CC PosixRemoveDirectoryA(const char* path) {
  std::string host;
  return HostPath(path, &host) && rmdir(host.c_str()) == 0 ? 1 : 0;
}

win::Bool WINAPI_CC PosixGetFileTime(win::Handle handle, win::FileTime* creation,
                                     win::FileTime* lastAccess, win::FileTime* lastWrite) {
  PosixFile* file = FileOf(handle);
  struct stat st;
  if (file == nullptr || fstat(file->fd, &st) != 0) return 0;
  if (creation != nullptr) *creation = FileTimeFromTimespec(st.st_mtim);
  if (lastAccess != nullptr) *lastAccess = FileTimeFromTimespec(st.st_atim);
  if (lastWrite != nullptr) *lastWrite = FileTimeFromTimespec(st.st_mtim);
  return 1;
}

win::Bool WINAPI_CC PosixSetFileTime(win::Handle handle, const win::FileTime*,
                                     const win::FileTime* lastAccess,
                                     const win::FileTime* lastWrite) {
  PosixFile* file = FileOf(handle);
  if (file == nullptr) return 0;
  struct timespec times[2];
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_nsec = UTIME_OMIT;
  if (lastAccess != nullptr) times[0] = TimespecFromFileTime(*lastAccess);
  if (lastWrite != nullptr) times[1] = TimespecFromFileTime(*lastWrite);
  return futimens(file->fd, times) == 0 ? 1 : 0;
}

win::Dword WINAPI_CC PosixGetTempPathA(win::Dword size, char* buffer) {
  const char* tmp = std::getenv("TMPDIR");
  std::string host = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  std::string dos;
  if (!HostToDosPath(host, &dos)) return 0;
  if (dos.back() != '\\') dos += '\\';
  if (dos.size() + 1 > size) return win::Dword(dos.size() + 1);
  std::memcpy(buffer, dos.c_str(), dos.size() + 1);
  return win::Dword(dos.size());
}

win::Bool WINAPI_CC PosixGetDiskFreeSpaceExA(const char* directory, uint64_t* freeToCaller,
                                             uint64_t* totalBytes, uint64_t* totalFree) {
  std::string host;
  struct statvfs vfs;
  if (!HostPath(directory, &host) || statvfs(host.c_str(), &vfs) != 0) return 0;
  if (freeToCaller != nullptr) *freeToCaller = uint64_t(vfs.f_bavail) * vfs.f_frsize;
  if (totalBytes != nullptr) *totalBytes = uint64_t(vfs.f_blocks) * vfs.f_frsize;
  if (totalFree != nullptr) *totalFree = uint64_t(vfs.f_bfree) * vfs.f_frsize;
  return 1;
}

win::Uint WINAPI_CC PosixGetDriveTypeA(const char* root) {
  if (root == nullptr || root[0] == '\0' || root[1] != ':') return win::kDriveNoRootDir;
  const DriveMapping& drive = DriveFor(root[0]);
  return drive.hostRoot.empty() ? win::kDriveNoRootDir : drive.type;
}
