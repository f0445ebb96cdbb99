// FILETIME (100-nanosecond ticks since 1601-01-01 UTC) and the host's
// timespec (since 1970), both ways; times before 1970 come out right too.
#pragma once

#include <ctime>

#include "core/win_types.h"

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kUnixEpochTicks = 116444736000000000LL;  // 1970-01-01 in FILETIME ticks

inline win::FileTime FileTimeFromTimespec(const struct timespec& ts) {
  const int64_t ticks = int64_t(ts.tv_sec) * kTicksPerSecond + ts.tv_nsec / 100 + kUnixEpochTicks;
  return win::ToFileTime(uint64_t(ticks));
}

inline struct timespec TimespecFromFileTime(win::FileTime ft) {
  const int64_t ticks = int64_t(win::ToUint64(ft)) - kUnixEpochTicks;
  int64_t seconds = ticks / kTicksPerSecond;
  int64_t rest = ticks % kTicksPerSecond;
  if (rest < 0) {
    rest += kTicksPerSecond;
    --seconds;
  }
  struct timespec ts;
  ts.tv_sec = time_t(seconds);
  ts.tv_nsec = long(rest * 100);
  return ts;
}
