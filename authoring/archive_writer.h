// Writes update archives: the header, the data area with each entry's
// stored bytes padded to 16, and the directory, in any of the forms the
// updater reads. Used by the packing tool and by the tests' fixtures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// Builds the whole archive into `archive`, each item's data released once it
// is in (pass the items moved in to keep one copy in memory). False with
// `error` set when an item cannot be stored (name too long, compression
// asked without a compressor, sizes beyond 32 bits).
bool BuildArchive(std::vector<ArchiveItem> items, const ArchiveOptions& options,
                  std::vector<uint8_t>* archive, std::string* error);
