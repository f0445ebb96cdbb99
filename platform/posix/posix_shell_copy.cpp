// The shell's copy operation (SHFileOperationA with FO_COPY) over the drive
// map, as the updater uses it:
// - the sources are a list of DOS paths ended by an empty one, the
//   destination is the first path of its list;
// - a file goes into the destination when that is an existing folder, and
//   to the destination path itself otherwise;
// - a folder is copied, with everything in it, into the destination when
//   that is an existing folder (the folder itself goes in, not only its
//   content), and becomes the destination otherwise;
// - missing folders on the way are created and existing files are replaced
//   without asking, read-only ones too; copies keep the source's read-only
//   state and its access and write times;
// - each file is written beside its destination first and then renamed over
//   it, so a failure never leaves a half-written file.
// There is no user here to abort: fAnyOperationsAborted is always 0. The
// result is 0 when everything was copied, else one of the shell's error
// codes; what was copied before a failure stays.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/drive_map.h"
#include "platform/posix/posix_functions.h"

namespace {

// Results as the shell reports them.
constexpr int kCopied = 0;
constexpr int kUnsupported = 1;            // ERROR_INVALID_FUNCTION: not a copy
constexpr int kNotFound = 2;               // ERROR_FILE_NOT_FOUND
constexpr int kAccessDenied = 5;           // ERROR_ACCESS_DENIED
constexpr int kSameFile = 0x71;            // DE_SAMEFILE
constexpr int kDestinationSubtree = 0x76;  // DE_DESTSUBTREE
constexpr int kInvalidFiles = 0x7C;        // DE_INVALIDFILES

bool IsFolder(const std::string& host) {
  struct stat st;
  return stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string BaseName(const std::string& host) {
  size_t slash = host.find_last_of('/');
  return slash == std::string::npos ? host : host.substr(slash + 1);
}

std::string ParentOf(const std::string& host) {
  size_t slash = host.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : host.substr(0, slash);
}

// Creates `host` and every missing folder above it.
bool MakeFolders(const std::string& host) {
  if (host.empty() || IsFolder(host)) return true;
  if (!MakeFolders(ParentOf(host))) return false;
  return mkdir(host.c_str(), 0777) == 0 || (errno == EEXIST && IsFolder(host));
}

bool CopyBytes(int from, int to) {
  char buffer[1 << 16];
  for (;;) {
    ssize_t n = read(from, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(to, buffer + done, size_t(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return false;
      done += w;
    }
  }
}

// Copies one file to `to`, replacing what is there, through a temporary
// file in the destination's folder.
int CopyOneFile(const std::string& from, const std::string& to) {
  struct stat source;
  if (stat(from.c_str(), &source) != 0 || !S_ISREG(source.st_mode)) return kNotFound;
  struct stat target;
  if (stat(to.c_str(), &target) == 0) {
    if (S_ISDIR(target.st_mode)) return kAccessDenied;
    if (target.st_dev == source.st_dev && target.st_ino == source.st_ino) return kSameFile;
  }
  if (!MakeFolders(ParentOf(to))) return kAccessDenied;
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return kAccessDenied;
  std::string temporary = ParentOf(to) + "/.~copy" + std::to_string(getpid()) + "-XXXXXX";
  std::vector<char> name(temporary.begin(), temporary.end());
  name.push_back('\0');
  int out = mkstemp(name.data());
  if (out < 0) {
    close(in);
    return kAccessDenied;
  }
  struct timespec times[2] = {source.st_atim, source.st_mtim};
  bool sound =
      CopyBytes(in, out) && fchmod(out, source.st_mode & 07777) == 0 && futimens(out, times) == 0;
  sound = close(out) == 0 && sound;
  close(in);
  if (sound) sound = rename(name.data(), to.c_str()) == 0;
  if (!sound) unlink(name.data());
  return sound ? kCopied : kAccessDenied;
}

// Copies the folder `from` as the folder `to` (merging into it when it
// exists), everything in it included.
int CopyFolder(const std::string& from, const std::string& to) {
  if (to == from || to.compare(0, from.size() + 1, from + "/") == 0) return kDestinationSubtree;
  struct stat target;
  if (stat(to.c_str(), &target) == 0 && !S_ISDIR(target.st_mode)) return kAccessDenied;
  if (!MakeFolders(to)) return kAccessDenied;
  DIR* dir = opendir(from.c_str());
  if (dir == nullptr) return kAccessDenied;
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      names.push_back(entry->d_name);
    }
  }
  closedir(dir);
  for (const std::string& name : names) {
    std::string child = from + "/" + name;
    int result =
        IsFolder(child) ? CopyFolder(child, to + "/" + name) : CopyOneFile(child, to + "/" + name);
    if (result != kCopied) return result;
  }
  return kCopied;
}

// The paths of a list ended by an empty one.
std::vector<std::string> PathList(const char* list) {
  std::vector<std::string> paths;
  if (list == nullptr) return paths;
  for (const char* p = list; *p != '\0'; p += std::strlen(p) + 1) paths.push_back(p);
  return paths;
}

// True when the DOS path names a drive's root ("D:", "D:\").
bool IsDriveRoot(const std::string& dos) {
  return dos.size() >= 2 && dos.find_first_not_of('\\', 2) == std::string::npos;
}

int CopyOne(const std::string& dosSource, const std::string& destination,
            bool destinationIsFolder) {
  std::string source;
  if (IsDriveRoot(dosSource) || !DosToHostPath(dosSource.c_str(), &source)) {
    return kInvalidFiles;
  }
  struct stat st;
  if (stat(source.c_str(), &st) != 0) return kNotFound;
  std::string target = destinationIsFolder ? destination + "/" + BaseName(source) : destination;
  return S_ISDIR(st.st_mode) ? CopyFolder(source, target) : CopyOneFile(source, target);
}

}  // namespace

int WINAPI_CC PosixSHFileOperationA(win::ShFileOp* operation) {
  if (operation == nullptr) return kInvalidFiles;
  operation->fAnyOperationsAborted = 0;
  if (operation->wFunc != win::kFoCopy) return kUnsupported;
  std::vector<std::string> sources = PathList(operation->pFrom);
  std::vector<std::string> destinations = PathList(operation->pTo);
  std::string destination;
  if (sources.empty() || destinations.empty() ||
      !DosToHostPath(destinations[0].c_str(), &destination)) {
    return kInvalidFiles;
  }
  // Several sources always go into a folder; one goes into an existing one.
  bool intoFolder = sources.size() > 1 || IsFolder(destination);
  for (const std::string& source : sources) {
    int result = CopyOne(source, destination, intoFolder);
    if (result != kCopied) return result;
  }
  return kCopied;
}
