// The times of the whole-run tests' files: the archive's entries carry
// kEntryTime, the installed files are an hour older.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "tests/support/file_ticks.h"

constexpr uint64_t kEntryTime = 0x01D9ABCD12345670ull;
constexpr uint64_t kOldTime = kEntryTime - 36000000000ull;  // an hour earlier

// Gives the host file at `host` `ticks` as its access and write times.
inline bool SetHostTimes(const std::string& host, uint64_t ticks) {
  const struct timespec times[2] = {Timespec(ticks), Timespec(ticks)};
  return utimensat(AT_FDCWD, host.c_str(), times, 0) == 0;
}
