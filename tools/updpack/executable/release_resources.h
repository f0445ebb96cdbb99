// A release's resources written into a compiled updater, with no compiler,
// linker or resource compiler: the archive as "UPDATE" 102, its SHA-256 as
// "UPDATE" 103 and the version resource with the release's strings, all in
// Japanese (0x411) as the updater's own resources are. Everything else the
// updater has (manifest, dialogs, icons) is kept as it is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "authoring/pe_resource_writer.h"

// The release's texts (UTF-8) and versions (a.b.c.d); empty ones keep the
// updater's defaults.
struct ReleaseStrings {
  std::string product;
  std::string company;
  std::string originalFilename;
  std::string fileVersion;
  std::string productVersion;
};

// A version a.b.c.d as its four numbers, each 0..65535. Empty when it is
// one, else why not.
std::string ParseReleaseVersion(const std::string& text, uint16_t numbers[4]);

// The language of every resource the release sets.
constexpr uint16_t kReleaseLanguage = 0x411;

// `updater` (the executable's bytes) carrying the archive that `archive`
// reads a piece at a time, whose SHA-256 is `digest`, with the release's
// version strings, written to `out`; the archive is never held whole. The
// version
// resource is the updater's own with the strings the release gives
// replaced: ProductName, CompanyName, OriginalFilename, FileVersion and
// ProductVersion, the two versions' numbers too. False with `error` set
// when the updater has no version resource of the expected shape or its
// resources cannot be written (see pe_resource_writer.h).
bool WriteReleaseResources(const std::vector<uint8_t>& updater, const PeDataSource& archive,
                           const std::vector<uint8_t>& digest, const ReleaseStrings& strings,
                           PeOutput* out, std::string* error);
