// Checks that an archive can make a working updater before one is built:
// it holds "UPDATE.INI", whose [SETUP] has the four keys the updater stops
// without, and whose agreement keys and update lines name entries that the
// archive holds. Lines are read as the updater reads them, so that what
// passes here is what the player's updater will find.
#pragma once

#include <string>
#include <vector>

#include "authoring/archive_bytes.h"

// Every problem found, one line each ("UPDATE.INI: ..."); none for an
// archive that passes. The archive must already have been verified. Of the
// entries' contents only UPDATE.INI's is read.
std::vector<std::string> CheckRelease(const ArchiveBytes& archive);
