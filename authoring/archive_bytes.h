// Where the tool's reader takes an archive's bytes from: read at an offset,
// a piece at a time, so that an archive of any size costs only the pieces
// being read. A file is read with pread (tools/updpack/files/archive_input.h);
// an archive held in memory is an ArchiveImage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

class ArchiveBytes {
 public:
  // The archive's size in bytes.
  virtual uint64_t size() const = 0;
  // Puts the `count` bytes from `offset` at `to`. False with `error` set
  // when they cannot be read (they lie past the end, or the file fails).
  virtual bool ReadAt(uint64_t offset, uint8_t* to, size_t count, std::string* error) const = 0;

 protected:
  ~ArchiveBytes() = default;
};

// An archive held in memory.
class ArchiveImage final : public ArchiveBytes {
 public:
  ArchiveImage(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}
  template <typename Bytes>
  explicit ArchiveImage(const Bytes& bytes) : ArchiveImage(bytes.data(), bytes.size()) {}

  uint64_t size() const override { return size_; }
  bool ReadAt(uint64_t offset, uint8_t* to, size_t count, std::string* error) const override {
    if (offset > size_ || count > size_ - offset) {
      *error = "the archive's bytes end at " + std::to_string(size_);
      return false;
    }
    if (count > 0) std::memcpy(to, bytes_ + offset, count);
    return true;
  }

 private:
  const uint8_t* bytes_;
  size_t size_;
};
