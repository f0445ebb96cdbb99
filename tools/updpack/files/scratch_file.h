// Temporary files for bytes too many to hold in memory while packing: the
// copy of a large input and the stream made of it. On Linux a scratch file
// never has a name (O_TMPFILE), so no kill leaves it behind; elsewhere it
// is named ".updpack-XXXXXX" only for the instant between its creation and
// its removal. Either way it goes when it is closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class ScratchFile {
 public:
  ScratchFile() = default;
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  // A new empty file in `folder` (empty for the current folder, or ending
  // in '/').
  bool Create(const std::string& folder, std::string* error);
  bool Append(const uint8_t* data, size_t size, std::string* error);
  // Empties the file.
  bool Truncate(std::string* error);
  bool ReadAt(uint64_t offset, uint8_t* out, size_t size, std::string* error) const;

  int fd() const { return fd_; }
  uint64_t size() const { return size_; }
  // "cannot write a temporary file in "out/": No space left on device",
  // with errno's reason.
  std::string Failure(const std::string& what) const;
  // After writing to fd() directly.
  void SetSize(uint64_t size) { size_ = size; }

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
  std::string folder_;
};
