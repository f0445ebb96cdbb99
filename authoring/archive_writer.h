// Writes update archives: the header, the data area with each entry's
// stored bytes padded to 16, and the directory, in any of the forms the
// updater reads. Used by the packing tool and by the tests' fixtures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "core/win_types.h"

struct ArchiveItem {
  std::string name;           // code page 932, at most 259 bytes
  std::vector<uint8_t> data;  // the content, or the stream when `precompressed`
  win::FileTime fileTime{};
  bool compress = false;       // store as a compressed stream (when it is smaller)
  bool scramble = false;       // scramble the stored bytes
  bool precompressed = false;  // `data` is already a stream of `unpackedSize` bytes
  uint32_t unpackedSize = 0;   // only for precompressed data
};

enum class DirectoryForm { kPlain, kScrambled, kCompressed, kCompressedScrambled };

// Compresses a block into one stream of the archive's format.
using CompressFunction = std::vector<uint8_t> (*)(const uint8_t* data, size_t size);

struct ArchiveOptions {
  DirectoryForm directory = DirectoryForm::kPlain;
  CompressFunction compress = nullptr;  // needed for compressed entries or directory
};

// Builds an archive piece by piece, for writers that never hold it whole:
// 16 bytes for the header first (any value; Finish gives them), then each
// entry's stored bytes and padding in directory order (Add), then the
// directory (Finish).
class ArchiveAssembler {
 public:
  explicit ArchiveAssembler(const ArchiveOptions& options) : options_(options) {}

  // The next entry: its stored bytes (the item's data, compressed and
  // scrambled as asked) and the zero bytes of padding that follow them.
  // False with `error` set when the item cannot be stored or the archive
  // would pass 32-bit offsets.
  bool Add(ArchiveItem item, std::vector<uint8_t>* stored, size_t* padding, std::string* error);

  // The next entry, whose `storedSize` stored bytes the caller writes
  // itself (for entries too long to hold): the item's stream when
  // `precompressed`, else its content, scrambled by the caller when
  // `scramble` (with an Unscrambler of `storedSize`); `data` is not used.
  bool Record(const ArchiveItem& item, uint64_t storedSize, size_t* padding, std::string* error);

  // The directory block, which ends the archive, and the header.
  bool Finish(std::vector<uint8_t>* directory, std::vector<uint8_t>* header, std::string* error);

 private:
  ArchiveOptions options_;
  std::vector<ArchiveEntry> records_;
  uint64_t size_ = 16;  // of the archive so far
};

// Builds the whole archive into `archive`, each item's data released once it
// is in (pass the items moved in to keep one copy in memory). False with
// `error` set when an item cannot be stored (name too long, compression
// asked without a compressor, sizes beyond 32 bits).
bool BuildArchive(std::vector<ArchiveItem> items, const ArchiveOptions& options,
                  std::vector<uint8_t>* archive, std::string* error);
