#include "tests/support/power_cut.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/platform.h"
#include "core/system_functions.h"
#include "platform/posix/drive_map.h"
#include "tests/support/file_ticks.h"

namespace {

// A file's content, read-only state and times (FILETIME ticks).
struct FileData {
  std::string content;
  bool readOnly = false;
  uint64_t access = 0;
  uint64_t write = 0;
};

// The folders as the model sees them: names (host paths) to file numbers,
// and each file by its number, so that a file keeps its data under any name.
struct Disk {
  std::map<std::string, int> names;
  std::set<std::string> folders;
  std::map<int, FileData> files;
};

enum class Kind {
  // metadata
  kCreate,  // a new file at `path` (over any file there, as a rename over it)
  kMakeFolder,
  kRemoveFolder,
  kMove,  // `path` to `to`, a file or a folder with everything in it
  kDelete,
  kSetReadOnly,
  kSetTimes,
  // data
  kWrite,     // `data` at `offset`
  kTruncate,  // to `offset` bytes
};

struct Change {
  explicit Change(Kind k, std::string p = "", std::string t = "")
      : kind(k), path(std::move(p)), to(std::move(t)) {}
  Kind kind;
  std::string path;
  std::string to;
  int file = 0;
  uint64_t offset = 0;
  std::string data;
  bool readOnly = false;
  uint64_t access = 0;  // the file's times right after the change
  uint64_t write = 0;
  bool flushed = false;  // data only: FlushFileBuffers came after it
  bool IsData() const { return kind == Kind::kWrite || kind == Kind::kTruncate; }
};

// What survives of each change: for a write the bytes kept (0: dropped),
// for any other change 1 or 0.
using Survival = std::vector<uint64_t>;

// What survives of `c` when nothing is lost.
uint64_t Whole(const Change& c) { return c.kind == Kind::kWrite ? c.data.size() : 1; }

void MoveName(Disk& disk, const std::string& from, const std::string& to) {
  auto file = disk.names.find(from);
  if (file != disk.names.end()) {
    const int number = file->second;
    disk.names.erase(file);
    disk.names[to] = number;
    return;
  }
  if (disk.folders.erase(from) == 0) return;
  disk.folders.insert(to);
  const std::string below = from + "/";
  std::map<std::string, int> names;
  for (const auto& [path, number] : disk.names) {
    names[path.compare(0, below.size(), below) == 0 ? to + path.substr(from.size()) : path] =
        number;
  }
  disk.names = std::move(names);
  std::set<std::string> folders;
  for (const std::string& path : disk.folders) {
    folders.insert(path.compare(0, below.size(), below) == 0 ? to + path.substr(from.size())
                                                             : path);
  }
  disk.folders = std::move(folders);
}

void Apply(const Change& c, uint64_t kept, Disk& disk) {
  if (kept == 0) return;
  switch (c.kind) {
    case Kind::kCreate:
      disk.names[c.path] = c.file;
      disk.files[c.file] = FileData{"", false, c.access, c.write};
      break;
    case Kind::kMakeFolder: disk.folders.insert(c.path); break;
    case Kind::kRemoveFolder: disk.folders.erase(c.path); break;
    case Kind::kMove: MoveName(disk, c.path, c.to); break;
    case Kind::kDelete: disk.names.erase(c.path); break;
    case Kind::kSetReadOnly: {
      auto it = disk.names.find(c.path);
      if (it != disk.names.end()) disk.files[it->second].readOnly = c.readOnly;
      break;
    }
    case Kind::kSetTimes:
      disk.files[c.file].access = c.access;
      disk.files[c.file].write = c.write;
      break;
    case Kind::kWrite: {
      FileData& f = disk.files[c.file];
      if (f.content.size() < c.offset + kept) f.content.resize(c.offset + kept, '\0');
      f.content.replace(c.offset, kept, c.data, 0, kept);
      f.access = c.access;
      f.write = c.write;
      break;
    }
    case Kind::kTruncate: {
      FileData& f = disk.files[c.file];
      f.content.resize(c.offset, '\0');
      f.access = c.access;
      f.write = c.write;
      break;
    }
  }
}

// The folders on the host, path by path: a folder, or a file with its data.
struct Entry {
  bool folder = false;
  FileData data;
};
using Flat = std::map<std::string, Entry>;

Flat Flatten(const Disk& disk) {
  Flat flat;
  for (const std::string& folder : disk.folders) flat[folder].folder = true;
  for (const auto& [path, number] : disk.names) flat[path].data = disk.files.at(number);
  return flat;
}

std::string ReadAll(const std::string& path) {
  std::string content;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return content;
  char buffer[65536];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) content.append(buffer, size_t(n));
  close(fd);
  return content;
}

// Everything below `folder` but symbolic links, which no change here makes.
void Scan(const std::string& folder, Flat& flat) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "/" + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) continue;
    if (S_ISDIR(st.st_mode)) {
      flat[path].folder = true;
      Scan(path, flat);
    } else {
      flat[path].data = FileData{ReadAll(path), (st.st_mode & S_IWUSR) == 0, Ticks(st.st_atim),
                                 Ticks(st.st_mtim)};
    }
  }
  closedir(dir);
}

// The folders of the fixed drives of the drive map.
std::vector<std::string> Roots() {
  std::vector<std::string> roots;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const DriveMapping& drive = DriveFor(letter);
    if (!drive.hostRoot.empty() && drive.hostRoot != "/" && drive.type != win::kDriveCdrom) {
      roots.push_back(drive.hostRoot);
    }
  }
  return roots;
}

Flat ScanRoots(const std::vector<std::string>& roots) {
  Flat flat;
  for (const std::string& root : roots) Scan(root, flat);
  return flat;
}

bool SameFile(const FileData& a, const FileData& b) {
  return a.content == b.content && a.readOnly == b.readOnly && a.write == b.write;
}

// Up to ten paths where `a` and `b` differ.
std::string Differences(const Flat& a, const Flat& b, const char* aName, const char* bName) {
  std::string out;
  int shown = 0;
  auto note = [&](const std::string& path, const std::string& what) {
    if (shown++ < 10) out += "  " + path + ": " + what + "\n";
  };
  for (const auto& [path, entry] : a) {
    auto other = b.find(path);
    if (other == b.end()) {
      note(path, std::string("only in ") + aName);
    } else if (entry.folder != other->second.folder ||
               (!entry.folder && !SameFile(entry.data, other->second.data))) {
      note(path, "differs");
    }
  }
  for (const auto& [path, entry] : b) {
    if (a.count(path) == 0) note(path, std::string("only in ") + bName);
  }
  return out;
}

// Makes the host folders hold `target`.
void Rebuild(const Flat& target, const Flat& now) {
  for (auto it = now.rbegin(); it != now.rend(); ++it) {
    auto wanted = target.find(it->first);
    if (wanted != target.end() && wanted->second.folder == it->second.folder) continue;
    if (it->second.folder) {
      rmdir(it->first.c_str());
    } else {
      unlink(it->first.c_str());
    }
  }
  for (const auto& [path, entry] : target) {
    if (entry.folder) {
      mkdir(path.c_str(), 0777);
      continue;
    }
    auto was = now.find(path);
    if (was != now.end() && !was->second.folder && SameFile(was->second.data, entry.data)) {
      continue;
    }
    struct stat st;
    const mode_t mode = lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) | S_IWUSR : 0644;
    chmod(path.c_str(), mode);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) continue;
    if (!entry.data.content.empty() &&
        write(fd, entry.data.content.data(), entry.data.content.size()) < 0) {
      // The comparison of the rebuilt folders shows it.
    }
    const struct timespec times[2] = {Timespec(entry.data.access), Timespec(entry.data.write)};
    futimens(fd, times);
    close(fd);
    if (entry.data.readOnly) chmod(path.c_str(), mode & ~mode_t(0222));
  }
}

}  // namespace

struct PowerCut::Log {
  uint32_t seed;
  std::vector<std::string> roots;
  Disk start;  // the folders when the simulator started
  Disk live;   // with every change so far
  std::vector<Change> changes;
  size_t durableChanges = 0;  // the metadata changes before this one are durable
  std::map<win::Handle, int> handles;
  int lastNumber = 0;

  PlatformOperations savedPlatform;
  SystemFunctionTable savedSystem;
  // The functions the wrappers call.
  decltype(SystemFunctionTable::CreateFileA) createFile;
  decltype(SystemFunctionTable::WriteFile) writeFile;
  decltype(SystemFunctionTable::CloseHandle) closeHandle;
  decltype(SystemFunctionTable::SetFileAttributesA) setAttributes;
  decltype(SystemFunctionTable::SHFileOperationA) shellOperation;
  decltype(SystemFunctionTable::SetFilePointer) setFilePointer;

  // The host path of `dos` when it lies in the folders.
  bool Inside(const char* dos, std::string* host) const {
    if (!DosToHostPath(dos, host)) return false;
    for (const std::string& root : roots) {
      if (host->compare(0, root.size() + 1, root + "/") == 0) return true;
    }
    return false;
  }

  void Record(Change c) {
    Apply(c, Whole(c), live);
    changes.push_back(std::move(c));
  }

  // Every metadata change so far is durable.
  void MetadataDurable() { durableChanges = changes.size(); }

  // The file's times now, through its handle.
  void TimesOf(win::Handle handle, Change* c) const {
    win::FileTime access{}, write{};
    savedPlatform.GetFileTime(handle, nullptr, &access, &write);
    c->access = win::ToUint64(access);
    c->write = win::ToUint64(write);
  }

  int FileOf(win::Handle handle) const {
    auto it = handles.find(handle);
    return it == handles.end() ? 0 : it->second;
  }

  // The shell's copy as changes: each folder it made, each file it made or
  // replaced (as a new file taking the name) with its content unflushed.
  void RecordCopy(const Flat& before, const Flat& after) {
    for (const auto& [path, entry] : after) {
      auto was = before.find(path);
      if (entry.folder) {
        if (was == before.end()) Record(Change{Kind::kMakeFolder, path});
        continue;
      }
      if (was != before.end() && !was->second.folder && SameFile(was->second.data, entry.data)) {
        continue;
      }
      const FileData& f = entry.data;
      Change create{Kind::kCreate, path};
      create.file = ++lastNumber;
      create.access = f.access;
      create.write = f.write;
      Record(create);
      Change write = create;
      write.kind = Kind::kWrite;
      write.data = f.content;
      Record(write);
      Change readOnly{Kind::kSetReadOnly, path};
      readOnly.readOnly = f.readOnly;
      Record(readOnly);
    }
  }

  Disk Build(const Survival& survival) const {
    Disk disk = start;
    for (size_t i = 0; i < changes.size(); ++i) Apply(changes[i], survival[i], disk);
    return disk;
  }

  Survival Everything() const {
    Survival all;
    for (const Change& c : changes) all.push_back(Whole(c));
    return all;
  }

  // What a power cut now leaves, by the rules of the header.
  Survival AfterCut() const {
    std::mt19937 random(seed);
    size_t metadata = 0, durable = 0;
    for (size_t i = 0; i < changes.size(); ++i) {
      if (changes[i].IsData()) continue;
      ++metadata;
      if (i < durableChanges) ++durable;
    }
    const size_t surviving = std::uniform_int_distribution<size_t>(durable, metadata)(random);
    Survival survival;
    size_t ordinal = 0;
    for (const Change& c : changes) {
      const uint64_t whole = Whole(c);
      if (!c.IsData()) {
        survival.push_back(ordinal++ < surviving ? 1 : 0);
      } else if (c.flushed) {
        survival.push_back(whole);
      } else {
        switch (std::uniform_int_distribution<int>(0, 2)(random)) {
          case 0: survival.push_back(whole); break;
          case 1: survival.push_back(0); break;
          default:
            survival.push_back(
                whole > 1 ? std::uniform_int_distribution<uint64_t>(1, whole - 1)(random) : 0);
        }
      }
    }
    return survival;
  }
};

namespace {

PowerCut::Log* active = nullptr;

win::Handle WINAPI_CC CutCreateFileA(const char* path, win::Dword access, win::Dword share,
                                     void* security, win::Dword disposition, win::Dword flags,
                                     win::Handle templateFile) {
  PowerCut::Log& log = *active;
  std::string host;
  const bool inside = log.Inside(path, &host);
  struct stat st;
  const bool existed = inside && lstat(host.c_str(), &st) == 0;
  win::Handle handle =
      log.createFile(path, access, share, security, disposition, flags, templateFile);
  if (!inside || handle == win::InvalidHandle()) return handle;
  Change c{Kind::kCreate, host};
  log.TimesOf(handle, &c);
  if (!existed) {
    c.file = ++log.lastNumber;
    log.Record(c);
  } else {
    auto it = log.live.names.find(host);
    if (it == log.live.names.end()) return handle;  // not seen: CutPower reports it
    c.file = it->second;
    if (disposition == win::kCreateAlways || disposition == 5 /* TRUNCATE_EXISTING */) {
      c.kind = Kind::kTruncate;
      c.offset = 0;
      log.Record(c);
    }
  }
  log.handles[handle] = c.file;
  return handle;
}

win::Bool WINAPI_CC CutWriteFile(win::Handle handle, const void* buffer, win::Dword size,
                                 win::Dword* written, void* overlapped) {
  PowerCut::Log& log = *active;
  win::Dword done = 0;
  const win::Bool result = log.writeFile(handle, buffer, size, &done, overlapped);
  if (written != nullptr) *written = done;
  const int file = log.FileOf(handle);
  if (file == 0 || done == 0) return result;
  win::Long high = 0;
  const win::Dword low = log.setFilePointer(handle, 0, &high, 1 /* FILE_CURRENT */);
  Change c{Kind::kWrite};
  c.file = file;
  c.offset = ((uint64_t(uint32_t(high)) << 32) | low) - done;
  c.data.assign(static_cast<const char*>(buffer), done);
  log.TimesOf(handle, &c);
  log.Record(c);
  return result;
}

win::Bool WINAPI_CC CutCloseHandle(win::Handle handle) {
  active->handles.erase(handle);
  return active->closeHandle(handle);
}

win::Bool WINAPI_CC CutFlushFileBuffers(win::Handle handle) {
  PowerCut::Log& log = *active;
  const win::Bool result = log.savedPlatform.FlushFileBuffers(handle);
  if (result == 0) return result;
  const int file = log.FileOf(handle);
  for (Change& c : log.changes) {
    if (c.IsData() && c.file == file) c.flushed = true;
  }
  log.MetadataDurable();
  return result;
}

win::Bool WINAPI_CC CutSetFileTime(win::Handle handle, const win::FileTime* creation,
                                   const win::FileTime* lastAccess,
                                   const win::FileTime* lastWrite) {
  PowerCut::Log& log = *active;
  const win::Bool result = log.savedPlatform.SetFileTime(handle, creation, lastAccess, lastWrite);
  const int file = log.FileOf(handle);
  if (result == 0 || file == 0) return result;
  Change c{Kind::kSetTimes};
  c.file = file;
  log.TimesOf(handle, &c);
  log.Record(c);
  return result;
}

win::Bool WINAPI_CC CutSetFileAttributesA(const char* path, win::Dword attributes) {
  PowerCut::Log& log = *active;
  const win::Bool result = log.setAttributes(path, attributes);
  std::string host;
  if (result == 0 || !log.Inside(path, &host) || log.live.names.count(host) == 0) return result;
  Change c{Kind::kSetReadOnly, host};
  c.readOnly = (attributes & win::kAttributeReadonly) != 0;
  log.Record(c);
  return result;
}

win::Bool WINAPI_CC CutDeleteFileA(const char* path) {
  PowerCut::Log& log = *active;
  std::string host;
  const bool inside = log.Inside(path, &host);
  const win::Bool result = log.savedPlatform.DeleteFileA(path);
  if (result != 0 && inside) log.Record(Change{Kind::kDelete, host});
  return result;
}

win::Bool WINAPI_CC CutCreateDirectoryA(const char* path, void* security) {
  PowerCut::Log& log = *active;
  std::string host;
  const bool inside = log.Inside(path, &host);
  const win::Bool result = log.savedPlatform.CreateDirectoryA(path, security);
  if (result != 0 && inside) log.Record(Change{Kind::kMakeFolder, host});
  return result;
}

win::Bool WINAPI_CC CutRemoveDirectoryA(const char* path) {
  PowerCut::Log& log = *active;
  std::string host;
  const bool inside = log.Inside(path, &host);
  const win::Bool result = log.savedPlatform.RemoveDirectoryA(path);
  if (result != 0 && inside) log.Record(Change{Kind::kRemoveFolder, host});
  return result;
}

win::Bool WINAPI_CC CutMoveFileExA(const char* from, const char* to, win::Dword flags) {
  PowerCut::Log& log = *active;
  std::string hostFrom, hostTo;
  const bool inside = log.Inside(from, &hostFrom) && log.Inside(to, &hostTo);
  const win::Bool result = log.savedPlatform.MoveFileExA(from, to, flags);
  if (result == 0) return result;
  if (inside) log.Record(Change{Kind::kMove, hostFrom, hostTo});
  if (flags & win::kMoveFileWriteThrough) log.MetadataDurable();
  return result;
}

int WINAPI_CC CutSHFileOperationA(win::ShFileOp* operation) {
  PowerCut::Log& log = *active;
  const Flat before = ScanRoots(log.roots);
  const int result = log.shellOperation(operation);
  log.RecordCopy(before, ScanRoots(log.roots));
  return result;
}

// Keeps `real` for the wrapper to call and hands out the wrapper.
template <typename Function>
void* Take(void* real, Function* slot, Function wrapper) {
  *slot = reinterpret_cast<Function>(real);
  return reinterpret_cast<void*>(wrapper);
}

// The system functions are looked up by name at start-up: the wrappers are
// handed out in place of the functions, which they then call.
void* WINAPI_CC CutGetProcAddress(win::Hmodule module, const char* name) {
  PowerCut::Log& log = *active;
  void* real = log.savedPlatform.GetProcAddress(module, name);
  if (real == nullptr) return real;
  const std::string n = name;
  if (n == "CreateFileA") return Take(real, &log.createFile, CutCreateFileA);
  if (n == "WriteFile") return Take(real, &log.writeFile, CutWriteFile);
  if (n == "CloseHandle") return Take(real, &log.closeHandle, CutCloseHandle);
  if (n == "SetFileAttributesA") return Take(real, &log.setAttributes, CutSetFileAttributesA);
  if (n == "SHFileOperationA") return Take(real, &log.shellOperation, CutSHFileOperationA);
  if (n == "SetFilePointer") {  // called to find where a write went, not wrapped
    log.setFilePointer = reinterpret_cast<decltype(log.setFilePointer)>(real);
  }
  return real;
}

}  // namespace

PowerCut::PowerCut(uint32_t seed) : log_(new Log{}) {
  Log& log = *log_;
  log.seed = seed;
  log.roots = Roots();
  for (const auto& [path, entry] : ScanRoots(log.roots)) {
    if (entry.folder) {
      log.start.folders.insert(path);
    } else {
      log.start.names[path] = ++log.lastNumber;
      log.start.files[log.lastNumber] = entry.data;
    }
  }
  log.live = log.start;

  log.savedPlatform = platform;
  log.savedSystem = systemFunctions;
  SystemFunctionTable& s = systemFunctions;
  log.createFile = s.CreateFileA;
  log.writeFile = s.WriteFile;
  log.closeHandle = s.CloseHandle;
  log.setAttributes = s.SetFileAttributesA;
  log.shellOperation = s.SHFileOperationA;
  log.setFilePointer = s.SetFilePointer;
  // Tables already filled are wrapped too; a later start fills them again
  // through GetProcAddress.
  if (s.CreateFileA != nullptr) s.CreateFileA = CutCreateFileA;
  if (s.WriteFile != nullptr) s.WriteFile = CutWriteFile;
  if (s.CloseHandle != nullptr) s.CloseHandle = CutCloseHandle;
  if (s.SetFileAttributesA != nullptr) s.SetFileAttributesA = CutSetFileAttributesA;
  if (s.SHFileOperationA != nullptr) s.SHFileOperationA = CutSHFileOperationA;
  PlatformOperations& p = platform;
  p.GetProcAddress = CutGetProcAddress;
  p.FlushFileBuffers = CutFlushFileBuffers;
  p.SetFileTime = CutSetFileTime;
  p.DeleteFileA = CutDeleteFileA;
  p.CreateDirectoryA = CutCreateDirectoryA;
  p.RemoveDirectoryA = CutRemoveDirectoryA;
  p.MoveFileExA = CutMoveFileExA;
  active = &log;
}

PowerCut::~PowerCut() {
  platform = log_->savedPlatform;
  systemFunctions = log_->savedSystem;
  active = nullptr;
}

std::string PowerCut::CutPower() {
  const Log& log = *log_;
  const Flat now = ScanRoots(log.roots);
  const std::string unseen =
      Differences(Flatten(log.Build(log.Everything())), now, "the record", "the folders");
  if (!unseen.empty()) return "changes made around the platform tables:\n" + unseen;
  const Flat target = Flatten(log.Build(log.AfterCut()));
  Rebuild(target, now);
  const std::string wrong = Differences(target, ScanRoots(log.roots), "the cut", "the folders");
  return wrong.empty() ? "" : "the folders could not be rebuilt:\n" + wrong;
}
