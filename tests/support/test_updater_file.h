// Updaters for tests on the POSIX build: an archive image made of named
// contents, and a file that carries resources appended the way the POSIX
// build carries its archive, opened as a module.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/win_types.h"

using NamedContents = std::vector<std::pair<std::string, std::string>>;

// An archive with a scrambled directory holding `files` in order, each
// compressed, with `fileTime`. Every entry is scrambled, or, with
// `alternateScrambling`, every second one starting with the second.
std::vector<uint8_t> ArchiveOf(const NamedContents& files, uint64_t fileTime = 0,
                               bool alternateScrambling = false);

struct AppendedResource {
  std::string type;
  uint32_t id;
  std::vector<uint8_t> bytes;
};

// Writes some bytes of "code" and then `resources` at `hostPath`, and opens
// the file as a module.
win::Hmodule ModuleWithResources(const std::string& hostPath,
                                 const std::vector<AppendedResource>& resources);

// The same with one archive as resource "UPDATE" 102.
win::Hmodule ModuleWithArchive(const std::string& hostPath, const std::vector<uint8_t>& archive);
