// Test support: file times as FILETIME ticks (100 ns since 1601-01-01 UTC)
// and as the host's timespec, worked out here on their own so that the
// expected values do not come from the code under test.
#pragma once

#include <cstdint>
#include <ctime>

constexpr uint64_t kUnixEpochTicks = 116444736000000000ull;

inline uint64_t Ticks(const struct timespec& ts) {
  return uint64_t(ts.tv_sec) * 10000000ull + uint64_t(ts.tv_nsec) / 100 + kUnixEpochTicks;
}

inline struct timespec Timespec(uint64_t ticks) {
  ticks -= kUnixEpochTicks;
  struct timespec ts;
  ts.tv_sec = time_t(ticks / 10000000);
  ts.tv_nsec = long(ticks % 10000000) * 100;
  return ts;
}
