#include "tools/updpack/executable/release_resources.h"

#include <cstdio>
#include <utility>

#include "authoring/pe_resource_writer.h"
#include "authoring/pe_resources.h"
#include "authoring/pe_version_info.h"
#include "authoring/pe_version_writer.h"

namespace {

// A checked a.b.c.d as its four numbers.
bool ParseVersion(const std::string& text, uint16_t numbers[4]) {
  unsigned parts[4];
  char end;
  if (std::sscanf(text.c_str(), "%5u.%5u.%5u.%5u%c", &parts[0], &parts[1], &parts[2], &parts[3],
                  &end) != 4) {
    return false;
  }
  for (int i = 0; i < 4; ++i) {
    if (parts[i] > 65535) return false;
    numbers[i] = uint16_t(parts[i]);
  }
  return true;
}

// The updater's version resource with the release's strings in it.
bool ReleaseVersion(const std::vector<uint8_t>& updater, const ReleaseStrings& strings,
                    std::vector<uint8_t>* out, std::string* error) {
  PeImage image;
  if (!ReadPeImage(updater.data(), updater.size(), &image, error)) return false;
  const PeResource* resource = FindPeResource(image, PeResourceId::Number(kPeResourceVersion),
                                              PeResourceId::Number(1), kReleaseLanguage);
  PeVersionInfo info;
  if (resource == nullptr ||
      !ReadPeVersionInfo(updater.data() + resource->offset, resource->size, &info, error)) {
    *error = "the updater has no version resource to write the release's strings into";
    return false;
  }
  if ((!strings.fileVersion.empty() && !ParseVersion(strings.fileVersion, info.fileVersion)) ||
      (!strings.productVersion.empty() &&
       !ParseVersion(strings.productVersion, info.productVersion))) {
    *error = "a version is four numbers a.b.c.d, each up to 65535";
    return false;
  }
  const std::pair<const char*, const std::string*> replaced[] = {
      {"ProductName", &strings.product},
      {"CompanyName", &strings.company},
      {"OriginalFilename", &strings.originalFilename},
      {"FileVersion", &strings.fileVersion},
      {"ProductVersion", &strings.productVersion}};
  for (PeVersionString& string : info.strings) {
    for (const auto& release : replaced) {
      if (string.key == release.first && !release.second->empty()) string.value = *release.second;
    }
  }
  return BuildPeVersionInfo(info, PeVersionFlags(), out, error);
}

PeResourceData Resource(PeResourceId type, uint16_t name, std::vector<uint8_t> data) {
  PeResourceData resource;
  resource.type = std::move(type);
  resource.name = PeResourceId::Number(name);
  resource.language = kReleaseLanguage;
  resource.data = std::move(data);
  return resource;
}

}  // namespace

bool WriteReleaseResources(const std::vector<uint8_t>& updater, const PeDataSource& archive,
                           const std::vector<uint8_t>& digest, const ReleaseStrings& strings,
                           PeOutput* out, std::string* error) {
  std::vector<uint8_t> version;
  if (!ReleaseVersion(updater, strings, &version, error)) return false;
  PeResourceEdit edit;
  edit.set.push_back(Resource(PeResourceId::Name("UPDATE"), 102, {}));
  edit.set.back().source = archive;
  edit.set.push_back(Resource(PeResourceId::Name("UPDATE"), 103, digest));
  edit.set.push_back(Resource(PeResourceId::Number(kPeResourceVersion), 1, std::move(version)));
  return WritePeResources(updater.data(), updater.size(), edit, out, error);
}
