// A progress bar on standard error for long work, drawn only when standard
// error is a terminal and the work has already taken a moment; it is cleared
// again when done.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

class ProgressBar {
 public:
  explicit ProgressBar(uint64_t total);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void Update(uint64_t done, const std::string& label);

 private:
  uint64_t total_;
  bool terminal_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_, lastDrawn_;
};
