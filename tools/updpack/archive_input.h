// The archive that list, extract and verify work on: the bytes of the file
// named on the command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

bool LoadArchive(const std::string& path, std::vector<uint8_t>* image, std::string* error);
