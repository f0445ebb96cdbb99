// The updater kits that build-exe links with: build/win32/kit and
// build/win64/kit of this source tree (made by the win32 and win64 builds),
// or a kit folder named on the command line. A kit holds the updater's
// compiled logic and resources and its link-updater.sh.
#pragma once

#include <string>
#include <vector>

// The kit of a Windows build ("win32" or "win64") in this source tree.
std::string DefaultKitFolder(const std::string& architecture);

// The release's texts (UTF-8) and versions (a.b.c.d); empty ones keep the
// updater's defaults.
struct ReleaseStrings {
  std::string product;
  std::string company;
  std::string originalFilename;
  std::string fileVersion;
  std::string productVersion;
};

// Runs the kit's link-updater.sh: links `output` carrying the archive file
// `archive`. False with `error` set when the kit is missing or the link
// fails (the script's own messages go to standard error).
bool LinkWithKit(const std::string& kit, const std::string& archive, const std::string& output,
                 const ReleaseStrings& strings, std::string* error);
