#include "tools/updpack/archive_input.h"

#include "authoring/archive_reader.h"
#include "tools/updpack/host_files.h"
#include "tools/updpack/tool_messages.h"

bool LoadArchive(const std::string& path, std::vector<uint8_t>* image, std::string* error) {
  return ReadWholeFile(path, image, nullptr, error);
}

bool LoadArchiveListing(const std::string& path, std::vector<uint8_t>* image,
                        ArchiveListing* listing) {
  std::string error;
  if (!LoadArchive(path, image, &error)) {
    ReportError(error);
    return false;
  }
  if (!ReadArchiveListing(image->data(), image->size(), listing, &error)) {
    ReportError(Quoted(path) + ": " + error);
    return false;
  }
  return true;
}
