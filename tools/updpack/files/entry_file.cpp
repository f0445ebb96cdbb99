#include "tools/updpack/files/entry_file.h"

bool EntryFile::Take(const uint8_t* bytes, size_t size) {
  return Made() && file_.Append(bytes, size, &error_);
}

bool EntryFile::Commit(const win::FileTime& time, std::string* error) {
  if (!Made()) {
    *error = error_;
    return false;
  }
  return file_.Commit(&time, false, error);
}

bool EntryFile::Made() {
  if (!made_) made_ = file_.Open(path_, &error_);
  return made_;
}
