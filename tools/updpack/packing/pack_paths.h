// Packing files, and the files of folders (recursively), into a new
// archive file: what `create` writes and what `build-exe` embeds. Entries are
// named by the files' own names in code page 932, ordered by the bytes of
// those names, and carry the files' modification times. Same inputs, same
// archive, byte for byte.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>
#include <vector>

struct PackOptions {
  bool store = false;
  bool noScramble = false;
  std::string directory = "compressed-scrambled";
  bool verbose = false;
  // Entries of this many bytes or more are packed through scratch files (0:
  // the default, 64 MiB); not an option of the command line.
  uint64_t scratchFrom = 0;
};

// Adds --store, --no-scramble, --directory and --verbose to a command.
void AddPackOptions(CLI::App* command, PackOptions* options);

// Packs `paths` into a new archive written to the file `archive` (an
// AtomicFile) entry by entry as they are packed, so that it is never held
// whole in memory. `output` is the file the command makes (for `create`,
// the archive itself): refused when it is one of the inputs, and scratch
// files go beside it. False with `error` set when a file cannot be read or
// named, or two names would be the same to the updater.
bool PackPathsToFile(const std::vector<std::string>& paths, const std::string& output,
                     const std::string& archive, const PackOptions& options, std::string* error);
