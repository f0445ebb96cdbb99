// An entry's content written to its file as it is produced, for extract:
// the file is made with the first piece (or at the end, for an empty
// entry) and appears at its path only complete, with the entry's file
// time. Abandoned (a damaged stream, a failed read), it leaves nothing.
#pragma once

#include <string>
#include <utility>

#include "authoring/archive_reader.h"
#include "core/win_types.h"
#include "tools/updpack/files/atomic_file.h"

class EntryFile final : public ContentTarget {
 public:
  explicit EntryFile(std::string path) : path_(std::move(path)) {}

  bool Take(const uint8_t* bytes, size_t size) override;
  std::string WhyStopped() const override { return error_; }

  // Puts the file in place with `time`, not flushed to disk: extract
  // flushes the files written together at the end.
  bool Commit(const win::FileTime& time, std::string* error);

 private:
  bool Made();

  std::string path_;
  AtomicFile file_;
  bool made_ = false;
  std::string error_;
};
