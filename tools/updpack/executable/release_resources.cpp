#include "tools/updpack/executable/release_resources.h"

#include <regex>
#include <utility>

#include "authoring/pe_resource_writer.h"
#include "authoring/pe_resources.h"
#include "authoring/pe_version_info.h"
#include "authoring/pe_version_writer.h"

std::string ParseReleaseVersion(const std::string& text, uint16_t numbers[4]) {
  static const std::regex kVersion("([0-9]{1,5})\\.([0-9]{1,5})\\.([0-9]{1,5})\\.([0-9]{1,5})");
  std::smatch parts;
  if (!std::regex_match(text, parts, kVersion)) return "a version is four numbers a.b.c.d";
  for (size_t i = 1; i <= 4; ++i) {
    const unsigned long part = std::stoul(parts[i].str());
    if (part > 65535) return "version parts go up to 65535";
    numbers[i - 1] = uint16_t(part);
  }
  return std::string();
}

namespace {

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
  for (const auto& version : {std::make_pair(&strings.fileVersion, info.fileVersion),
                              std::make_pair(&strings.productVersion, info.productVersion)}) {
    if (version.first->empty()) continue;
    *error = ParseReleaseVersion(*version.first, version.second);
    if (!error->empty()) return false;
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
