// Reads and packs the contents of an archive's entries, two at a time (each
// compression may also find its matches on a thread of its own), with the
// bytes done shown on a progress bar. Each entry keeps only its stored form
// (the stream when it is smaller than the content, else the content) and is
// handed over in entry order as soon as it and those before it are done.
// An entry's memory counts until it is handed over, and entries are started
// only while those counted fit a budget (one at a time past it), so memory
// stays bounded whatever the number of entries. Entries too long to hold
// are packed through scratch files (input_snapshot.h), so memory stays
// bounded whatever their size too. The results are those of
// CompressStream, whatever the order in which the entries finish.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/updpack/files/scratch_file.h"

struct PackedContent {
  std::vector<uint8_t> stored;              // the stream, or the content when `compressed` is false
  std::unique_ptr<ScratchFile> storedFile;  // in place of `stored`, for entries too long to hold
  bool compressed = false;
  uint32_t unpackedSize = 0;
  bool leastCostOnly = false;  // the stream is that of a least-cost parse (CompressReport)
  struct stat info {};         // of the file as it was read
};

// Where entries too long to hold in memory are packed.
struct ScratchPlace {
  std::string folder;                  // for the scratch files ("" or ending in '/')
  uint64_t from = uint64_t(64) << 20;  // entries of this many bytes or more
};

// Takes each entry, in order, on the calling thread; false with `error` set
// stops the packing.
using TakePacked = std::function<bool(size_t index, PackedContent packed, std::string* error)>;

// `sizes` are the files' sizes as found before reading (for the budget and
// the progress bar). With `compress` false the contents are stored as read.
// False with `error` set when a file cannot be read, is larger than an entry
// can be, memory runs out (the first such entry in order is reported), or
// `take` fails.
bool PackContents(const std::vector<std::string>& paths, const std::vector<uint64_t>& sizes,
                  bool compress, const ScratchPlace& scratch, const TakePacked& take,
                  std::string* error);
