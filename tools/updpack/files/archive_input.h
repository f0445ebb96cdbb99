// The archive that list, extract, verify and build-exe work on: the file
// named on the command line, or, when that file is an updater executable,
// its resource of type "UPDATE", id 102. It is read a piece at a time,
// never whole.
#pragma once

#include <cstdint>
#include <string>

#include "authoring/archive_bytes.h"
#include "tools/updpack/executable/updater_digest.h"
#include "tools/updpack/files/input_file.h"

// Where an archive came from: a file of its own, or an updater that may
// carry its digest.
struct ArchiveOrigin {
  bool executable = false;
  DigestState digest = DigestState::kNone;
  std::string digestDetail;       // what differs, when the digest does not match
  bool carriesSignature = false;  // its certificate table is not empty
};

class ArchiveFile final : public ArchiveBytes {
 public:
  // Opens `path`: an archive, or an updater, whose archive resource is then
  // read. `origin`, when given, is told which, and for an updater the state
  // of its digest (checked, reading the archive once) and whether it
  // carries a signature. Neither an archive nor an updater can pass 32-bit
  // sizes: refused by the size before the file is read.
  bool Open(const std::string& path, std::string* error, ArchiveOrigin* origin = nullptr);
  // Opens `path` as an archive, whatever its first bytes.
  bool OpenBare(const std::string& path, std::string* error);

  uint64_t size() const override { return size_; }
  bool ReadAt(uint64_t offset, uint8_t* to, size_t count, std::string* error) const override;
  // The archive's bytes handed to `take` in order, a piece at a time.
  bool ReadPieces(const InputFile::PieceTaker& take, std::string* error) const;

 private:
  bool TakeArchiveResource(std::string* error, ArchiveOrigin* origin);

  InputFile file_;
  uint64_t base_ = 0;  // where the archive starts in the file
  uint64_t size_ = 0;
};

struct PeImage;
struct PeResource;

// Reads the structures of the executable `file` through a mapping of it, so
// that only the pages they lie on are read, never the whole file.
bool ReadExecutableImage(const InputFile& file, PeImage* image, std::string* error);

// An updater's archive: its resource "UPDATE" 102; nullptr when it has none.
const PeResource* FindArchiveResource(const PeImage& image);

struct ArchiveListing;

// Opens the archive and reads its header and directory, reporting what
// fails as one line; false then.
bool OpenArchiveListing(const std::string& path, ArchiveFile* archive, ArchiveListing* listing,
                        ArchiveOrigin* origin = nullptr);
