#include "tools/updpack/files/host_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>
#include <utility>

#include "tools/updpack/commands/tool_messages.h"

namespace {

std::string Join(const std::string& folder, const std::string& name) {
  return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string LastPart(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  const size_t slash = p.rfind('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

class Collector {
 public:
  Collector(const std::string& output, std::vector<FoundFile>* files)
      : output_(output), files_(files) {
    struct stat info;
    if (stat(output.c_str(), &info) == 0) outputId_ = {info.st_dev, info.st_ino};
  }

  bool Add(const std::string& path, std::string* error) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
      *error = SystemError("cannot read", path);
      return false;
    }
    if (S_ISREG(info.st_mode)) {
      if (outputId_ && *outputId_ == std::make_pair(info.st_dev, info.st_ino)) {
        *error = "the output " + Quoted(output_) + " is the input " + Quoted(path) +
                 ": writing it would destroy that file; choose another output path";
        return false;
      }
      files_->push_back(FoundFile{path, LastPart(path), uint64_t(info.st_size)});
      return true;
    }
    if (!S_ISDIR(info.st_mode)) {
      *error = Quoted(path) + " is neither a file nor a folder";
      return false;
    }
    const auto id = std::make_pair(info.st_dev, info.st_ino);
    if (!open_.insert(id).second) {
      *error = "the folder " + Quoted(path) + " contains itself (through a symbolic link)";
      return false;
    }
    std::vector<std::string> names;
    if (!List(path, &names, error)) return false;
    for (const std::string& name : names) {
      if (!Add(Join(path, name), error)) return false;
    }
    open_.erase(id);
    return true;
  }

 private:
  static bool List(const std::string& path, std::vector<std::string>* names, std::string* error) {
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) {
      *error = SystemError("cannot read the folder", path);
      return false;
    }
    for (errno = 0; const dirent* d = readdir(dir); errno = 0) {
      if (std::strcmp(d->d_name, ".") != 0 && std::strcmp(d->d_name, "..") != 0) {
        names->push_back(d->d_name);
      }
    }
    const bool ok = errno == 0;
    closedir(dir);
    if (!ok) {
      *error = SystemError("cannot read the folder", path);
      return false;
    }
    std::sort(names->begin(), names->end());
    return true;
  }

  std::string output_;
  std::vector<FoundFile>* files_;
  std::optional<std::pair<dev_t, ino_t>> outputId_;
  std::set<std::pair<dev_t, ino_t>> open_;  // folders on the way down
};

}  // namespace

int OpenInput(const std::string& path, struct stat* info, std::string* error, uint64_t limit) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = SystemError("cannot open", path);
    return -1;
  }
  if (fstat(fd, info) != 0) {
    *error = SystemError("cannot read", path);
    close(fd);
    return -1;
  }
  if (uint64_t(info->st_size) > limit) {
    *error = Quoted(path) + " is " + std::to_string(uint64_t(info->st_size)) +
             " bytes long, more than the " + std::to_string(limit) + " it may have";
    close(fd);
    return -1;
  }
  return fd;
}

bool ReadFully(int fd, uint8_t* out, size_t size) {
  while (size > 0) {
    const ssize_t got = read(fd, out, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got == 0) errno = EIO;  // the file shrank while being read
      return false;
    }
    out += got;
    size -= size_t(got);
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, struct stat* info,
                   std::string* error, uint64_t limit) {
  struct stat own;
  if (info == nullptr) info = &own;
  const int fd = OpenInput(path, info, error, limit);
  if (fd < 0) return false;
  bytes->resize(size_t(info->st_size));
  const bool ok = ReadFully(fd, bytes->data(), bytes->size());
  if (!ok) *error = SystemError("cannot read", path);
  close(fd);
  return ok;
}

bool SyncFilesUnder(const std::string& folder, std::string* error) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  bool ok = fd >= 0 && syncfs(fd) == 0;
  if (!ok) *error = SystemError("cannot flush the files written under", folder);
  if (fd >= 0) close(fd);
  return ok;
}

bool MakeFolders(const std::string& path, std::string* error) {
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at < path.size() && path[at] != '/') continue;
    const std::string part = path.substr(0, at);
    if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
      *error = SystemError("cannot create the folder", part);
      return false;
    }
  }
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    *error = Quoted(path) + " is not a folder";
    return false;
  }
  return true;
}

bool CollectFiles(const std::vector<std::string>& paths, const std::string& output,
                  std::vector<FoundFile>* files, std::string* error) {
  Collector collector(output, files);
  for (const std::string& path : paths) {
    if (!collector.Add(path, error)) return false;
  }
  return true;
}

bool FileTimeFromStat(const struct stat& info, win::FileTime* time) {
  const int64_t seconds = int64_t(info.st_mtim.tv_sec) + kUnixEpochTicks / kTicksPerSecond;
  if (seconds < 0 || seconds > INT64_MAX / kTicksPerSecond - 1) return false;
  *time = win::ToFileTime(uint64_t(seconds * kTicksPerSecond + info.st_mtim.tv_nsec / 100));
  return true;
}

std::string IsoDateFromFileTime(win::FileTime time) {
  const uint64_t ticks = win::ToUint64(time);
  const uint64_t seconds = ticks / kTicksPerSecond;
  // Days since 1601-01-01 to a civil date (the proleptic Gregorian
  // calendar), counted in 400-year cycles from 1600-03-01.
  int64_t days = int64_t(seconds / 86400) + 306;  // 1600-03-01 .. 1601-01-01
  const int64_t era = days / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthIndex = (5 * dayOfYear + 2) / 153;  // 0 = March
  const int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  const int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  const int64_t year = 1600 + era * 400 + yearOfEra + (month <= 2 ? 1 : 0);
  const uint64_t inDay = seconds % 86400;
  char text[64];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02u:%02u:%02u.%07uZ", (long long)year,
                (long long)month, (long long)day, unsigned(inDay / 3600), unsigned(inDay / 60 % 60),
                unsigned(inDay % 60), unsigned(ticks % kTicksPerSecond));
  return text;
}
