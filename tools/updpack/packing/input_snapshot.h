// The content of an input file as read once for packing. A small file is
// read into memory. A large one is copied into a scratch file (nobody else
// can change or shorten the copy while it is packed) and mapped; the pages
// read are given back to the system now and then (they are read again from
// the copy when needed), so that the memory taken does not grow with the
// file.
#pragma once

#include <sys/stat.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/updpack/files/scratch_file.h"

class InputSnapshot {
 public:
  InputSnapshot() = default;
  ~InputSnapshot();
  InputSnapshot(const InputSnapshot&) = delete;
  InputSnapshot& operator=(const InputSnapshot&) = delete;

  // Reads `path`, refused by its size before reading when it is larger than
  // `limit`. Files of `copyFrom` bytes or more are copied into a scratch
  // file in `scratchFolder`.
  bool Take(const std::string& path, uint64_t limit, uint64_t copyFrom,
            const std::string& scratchFolder, std::string* error);

  const uint8_t* data() const { return copy_ != nullptr ? mapped_ : bytes_.data(); }
  size_t size() const { return size_; }
  const struct stat& info() const { return info_; }
  bool copied() const { return copy_ != nullptr; }

  // Counts bytes read or written since the last call that gave pages back;
  // past kGiveBackEvery, the mapped pages are given back. Any thread.
  void NoteProgress(uint64_t bytes);
  static constexpr uint64_t kGiveBackEvery = uint64_t(64) << 20;

  // The content, handed over (the snapshot is empty afterwards).
  std::vector<uint8_t> TakeBytes();
  std::unique_ptr<ScratchFile> TakeCopy();

 private:
  void Unmap();

  struct stat info_ {};
  size_t size_ = 0;
  std::vector<uint8_t> bytes_;
  std::unique_ptr<ScratchFile> copy_;
  uint8_t* mapped_ = nullptr;
  std::atomic<uint64_t> sinceGiveBack_{0};
};
