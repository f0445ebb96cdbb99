// A file read a piece at a time at given offsets (pread), never whole, so
// that archives and updaters of any size cost a piece of memory at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens `path` for reading; refused by its size, before anything is
  // read, when it is larger than `limit`.
  bool Open(const std::string& path, std::string* error, uint64_t limit = UINT64_MAX);

  // Exactly `count` bytes from `offset`. False with `error` set when the
  // file fails, or ends first (it was made shorter after it was opened).
  bool ReadAt(uint64_t offset, uint8_t* to, size_t count, std::string* error) const;

  // Takes a piece of the file; false (with `error` set) stops the reading.
  using PieceTaker = std::function<bool(const uint8_t* piece, size_t size, std::string* error)>;
  // The `count` bytes from `offset` handed to `take` in order, a piece of
  // at most kPieceSize at a time.
  bool ReadPieces(uint64_t offset, uint64_t count, const PieceTaker& take,
                  std::string* error) const;
  static constexpr size_t kPieceSize = size_t(1) << 20;

  int fd() const { return fd_; }
  uint64_t size() const { return size_; }  // when it was opened
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
  std::string path_;
};
