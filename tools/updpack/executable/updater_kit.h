// An updater kit that build-exe links with when one is named (--kit): the
// kit/ folder of a Windows build of this project (build/win32/kit,
// build/win64/kit), which holds the updater's compiled logic and resources
// and its link-updater.sh. It needs that build's cross compiler.
#pragma once

#include <string>
#include <vector>

#include "tools/updpack/executable/release_resources.h"

// Runs the kit's link-updater.sh: links `output` carrying the archive file
// `archive`. False with `error` set when the kit is missing or the link
// fails (the script's own messages go to standard error).
bool LinkWithKit(const std::string& kit, const std::string& archive, const std::string& output,
                 const ReleaseStrings& strings, std::string* error);
