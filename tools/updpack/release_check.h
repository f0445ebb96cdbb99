// Checks that an archive can make a working updater before one is built:
// it holds "UPDATE.INI", whose [SETUP] has the four keys the updater stops
// without, and whose agreement keys and update lines name entries that the
// archive holds. Lines are read as the updater reads them, so that what
// passes here is what the player's updater will find.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Every problem found, one line each ("UPDATE.INI: ..."); none for an
// archive that passes. The archive must already have been verified.
std::vector<std::string> CheckRelease(const uint8_t* image, size_t size);
