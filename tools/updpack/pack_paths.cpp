#include "tools/updpack/pack_paths.h"

#include <algorithm>
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
};

std::vector<uint8_t> CompressWhole(const uint8_t* data, size_t size) {
  return CompressStream(data, size);
}

// Names every file, refuses names the updater cannot use or tell apart, and
// puts the entries in archive order.
bool PlanEntries(const std::vector<FoundFile>& files, std::vector<PlannedEntry>* entries,
                 std::string* error) {
  for (const FoundFile& file : files) {
    PlannedEntry entry{std::string(), file.path};
    std::string why;
    if (!EntryNameFromFileName(file.name, &entry.name, &why)) {
      *error = "the name of " + Quoted(file.path) + " " + why;
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
  std::vector<std::vector<uint8_t>> contents(entries.size());
  std::vector<win::FileTime> times(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    struct stat info;
    if (!ReadWholeFile(entries[i].path, &contents[i], &info, error)) return false;
    if (!FileTimeFromStat(info, &times[i])) {
      *error = "the modification time of " + Quoted(entries[i].path) +
               " does not fit a FILETIME (it lies before 1601)";
      return false;
    }
    if (contents[i].size() > UINT32_MAX) {
      *error = Quoted(entries[i].path) + " is larger than an entry can be (4 GiB - 1 bytes)";
      return false;
    }
  }
  std::vector<std::vector<uint8_t>> streams;
  if (!options.store && !CompressEntries(contents, &streams, error)) return false;
  for (size_t i = 0; i < entries.size(); ++i) {
    ArchiveItem item;
    item.name = entries[i].name;
    item.fileTime = times[i];
    item.scramble = !options.noScramble;
    const size_t size = contents[i].size();
    if (!options.store && streams[i].size() < size) {
      item.precompressed = true;
      item.unpackedSize = uint32_t(size);
      item.data = std::move(streams[i]);
    } else {
      item.data = std::move(contents[i]);
    }
    if (options.verbose) {
      std::printf("%s  %zu -> %zu%s\n", entries[i].path.c_str(), size, item.data.size(),
                  item.precompressed ? "" : " (stored)");
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

bool PackPaths(const std::vector<std::string>& paths, const std::string& skip,
               const PackOptions& options, std::vector<uint8_t>* archive, std::string* error) {
  std::vector<FoundFile> files;
  std::vector<PlannedEntry> entries;
  std::vector<ArchiveItem> items;
  ArchiveOptions archiveOptions;
  archiveOptions.directory = kDirectoryForms.at(options.directory);
  archiveOptions.compress = CompressWhole;
  return CollectFiles(paths, skip, &files, error) && PlanEntries(files, &entries, error) &&
         PackEntries(entries, options, &items, error) &&
         BuildArchive(items, archiveOptions, archive, error);
}
