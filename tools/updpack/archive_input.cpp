#include "tools/updpack/archive_input.h"

#include "tools/updpack/host_files.h"

bool LoadArchive(const std::string& path, std::vector<uint8_t>* image, std::string* error) {
  return ReadWholeFile(path, image, nullptr, error);
}
