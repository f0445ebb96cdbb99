#include "tests/support/test_updater_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include "authoring/archive_writer.h"
#include "platform/posix/appended_resource.h"
#include "platform/posix/posix_functions.h"

std::vector<uint8_t> ArchiveOf(const NamedContents& files, uint64_t fileTime,
                               bool alternateScrambling) {
  std::vector<ArchiveItem> items;
  bool scramble = !alternateScrambling;
  for (const auto& f : files) {
    ArchiveItem item;
    item.name = f.first;
    item.data.assign(f.second.begin(), f.second.end());
    item.fileTime = win::ToFileTime(fileTime);
    item.scramble = scramble;
    if (alternateScrambling) scramble = !scramble;
    items.push_back(item);
  }
  ArchiveOptions options;
  options.directory = DirectoryForm::kScrambled;
  std::vector<uint8_t> image;
  std::string error;
  EXPECT_TRUE(BuildArchive(items, options, &image, &error)) << error;
  return image;
}

win::Hmodule ModuleWithResources(const std::string& hostPath,
                                 const std::vector<AppendedResource>& resources) {
  std::ofstream out(hostPath, std::ios::binary);
  out << "the updater's code";
  for (const AppendedResource& r : resources) {
    out.write(reinterpret_cast<const char*>(r.bytes.data()), std::streamsize(r.bytes.size()));
    const AppendedResourceTrailer trailer =
        MakeAppendedResourceTrailer(r.type, r.id, uint32_t(r.bytes.size()));
    out.write(reinterpret_cast<const char*>(&trailer), sizeof trailer);
  }
  out.close();
  return PosixModuleForFile(hostPath.c_str());
}

win::Hmodule ModuleWithArchive(const std::string& hostPath, const std::vector<uint8_t>& archive) {
  return ModuleWithResources(hostPath, {{"UPDATE", 102, archive}});
}
