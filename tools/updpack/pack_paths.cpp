#include "tools/updpack/pack_paths.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <map>

#include "authoring/archive_writer.h"
#include "authoring/compressor.h"
#include "tools/updpack/compress_entries.h"
#include "tools/updpack/entry_names.h"
#include "tools/updpack/host_files.h"
#include "tools/updpack/tool_messages.h"

namespace {

const std::map<std::string, DirectoryForm> kDirectoryForms = {
    {"plain", DirectoryForm::kPlain},
    {"scrambled", DirectoryForm::kScrambled},
    {"compressed", DirectoryForm::kCompressed},
    {"compressed-scrambled", DirectoryForm::kCompressedScrambled}};

struct PlannedEntry {
  std::string name;  // code page 932
  std::string path;
  uint64_t size;     // as found
};

std::vector<uint8_t> CompressWhole(const uint8_t* data, size_t size) {
  return CompressStream(data, size);
}

// Names every file, refuses names the updater cannot use or tell apart and
// files too large to be entries (by their size, before reading them), and
// puts the entries in archive order.
bool PlanEntries(const std::vector<FoundFile>& files, std::vector<PlannedEntry>* entries,
                 std::string* error) {
  for (const FoundFile& file : files) {
    PlannedEntry entry{std::string(), file.path, file.size};
    std::string why;
    if (!EntryNameFromFileName(file.name, &entry.name, &why)) {
      *error = "the name of " + Quoted(file.path) + " " + why;
      return false;
    }
    if (file.size > UINT32_MAX) {
      *error = Quoted(file.path) + " is larger than an entry can be (4 GiB - 1 bytes)";
      return false;
    }
    entries->push_back(entry);
  }
  std::vector<std::string> names;
  for (const PlannedEntry& e : *entries) names.push_back(e.name);
  size_t first, second;
  if (FindSameNames(names, &first, &second)) {
    *error = Quoted((*entries)[first].path) + " and " + Quoted((*entries)[second].path) +
             " would be entries of the same name (the updater ignores case)";
    return false;
  }
  std::sort(entries->begin(), entries->end(), [](const PlannedEntry& a, const PlannedEntry& b) {
    return EntryNameBefore(a.name, b.name);
  });
  return true;
}

// Reads and packs every entry: compressed where that makes it smaller
// (unless stored), scrambled unless asked not to.
bool PackEntries(const std::vector<PlannedEntry>& entries, const PackOptions& options,
                 std::vector<ArchiveItem>* items, std::string* error) {
  std::vector<std::string> paths;
  std::vector<uint64_t> sizes;
  for (const PlannedEntry& e : entries) {
    paths.push_back(e.path);
    sizes.push_back(e.size);
  }
  std::vector<PackedContent> packed;
  if (!PackContents(paths, sizes, !options.store, &packed, error)) return false;
  for (size_t i = 0; i < entries.size(); ++i) {
    ArchiveItem item;
    item.name = entries[i].name;
    if (!FileTimeFromStat(packed[i].info, &item.fileTime)) {
      *error = "the modification time of " + Quoted(entries[i].path) +
               " does not fit a FILETIME (it lies before 1601)";
      return false;
    }
    item.scramble = !options.noScramble;
    item.precompressed = packed[i].compressed;
    item.unpackedSize = packed[i].unpackedSize;
    item.data = std::move(packed[i].stored);
    if (options.verbose) {
      std::printf("%s  %" PRIu32 " -> %zu%s%s\n", Printable(entries[i].path).c_str(),
                  item.unpackedSize, item.data.size(), item.precompressed ? "" : " (stored)",
                  packed[i].leastCostOnly
                      ? " (least-cost parse: proving the smallest would pass the memory budget; "
                        "at most 3 bytes longer)"
                      : "");
    }
    items->push_back(std::move(item));
  }
  return true;
}

}  // namespace

void AddPackOptions(CLI::App* command, PackOptions* options) {
  command->add_flag("--store", options->store, "store entries without compressing them");
  command->add_flag("--no-scramble", options->noScramble, "do not scramble the entries");
  command
      ->add_option("--directory", options->directory,
                   "form of the directory: plain, scrambled, compressed or compressed-scrambled "
                   "(the default)")
      ->check(CLI::IsMember({"plain", "scrambled", "compressed", "compressed-scrambled"}));
  command->add_flag("-v,--verbose", options->verbose, "list each entry as it is packed");
}

bool PackPaths(const std::vector<std::string>& paths, const std::string& output,
               const PackOptions& options, std::vector<uint8_t>* archive, std::string* error) {
  std::vector<FoundFile> files;
  std::vector<PlannedEntry> entries;
  std::vector<ArchiveItem> items;
  ArchiveOptions archiveOptions;
  archiveOptions.directory = kDirectoryForms.at(options.directory);
  archiveOptions.compress = CompressWhole;
  return CollectFiles(paths, output, &files, error) && PlanEntries(files, &entries, error) &&
         PackEntries(entries, options, &items, error) &&
         BuildArchive(std::move(items), archiveOptions, archive, error);
}
