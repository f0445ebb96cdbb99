#include "tools/updpack/executable/executable_limits.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "tools/updpack/commands/tool_messages.h"

namespace {

std::string Mebibytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", double(bytes) / double(1 << 20));
  return text;
}

}  // namespace

uint64_t LargestArchiveFor(const std::string& architecture) {
  return architecture == "win64" ? kWin64LargestArchive : kWin32LargestArchive;
}

bool ArchiveFits(const std::string& architecture, uint64_t size, const std::string& name,
                 std::string* error) {
  const uint64_t largest = LargestArchiveFor(architecture);
  if (size <= largest) return true;
  const bool win64 = architecture == "win64";
  *error = (name.empty() ? std::string("the archive") : "the archive " + Quoted(name)) + " has " +
           std::to_string(size) + " bytes (" + Mebibytes(size) + "), more than the " +
           std::to_string(largest) + " (" + Mebibytes(largest) + ") that a " + architecture +
           " updater can carry" +
           (win64 ? ": Windows loads no executable image of 2 GiB or more"
                  : ": Windows maps the whole updater into the 2 GiB of a 32-bit process") +
           "; no updater was built: " +
           (win64 ? "split the update into smaller updaters"
                  : "use --arch win64, or split the update into smaller updaters");
  return false;
}

bool ArchiveFileFits(const std::string& architecture, const std::string& path, std::string* error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return true;
  struct stat info;
  char start[2] = {};
  const bool archiveFile = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                           pread(fd, start, sizeof start, 0) == ssize_t(sizeof start) &&
                           !(start[0] == 'M' && start[1] == 'Z');
  close(fd);
  return !archiveFile || ArchiveFits(architecture, uint64_t(info.st_size), path, error);
}
