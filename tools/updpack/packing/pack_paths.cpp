#include "tools/updpack/packing/pack_paths.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <functional>
#include <map>

#include "archive/unscramble.h"
#include "authoring/archive_writer.h"
#include "authoring/compressor.h"
#include "tools/updpack/commands/tool_messages.h"
#include "tools/updpack/files/atomic_file.h"
#include "tools/updpack/files/host_files.h"
#include "tools/updpack/packing/compress_entries.h"
#include "tools/updpack/packing/entry_names.h"

namespace {

const std::map<std::string, DirectoryForm> kDirectoryForms = {
    {"plain", DirectoryForm::kPlain},
    {"scrambled", DirectoryForm::kScrambled},
    {"compressed", DirectoryForm::kCompressed},
    {"compressed-scrambled", DirectoryForm::kCompressedScrambled}};

struct PlannedEntry {
  std::string name;  // code page 932
  std::string path;
  uint64_t size;  // as found
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

// An entry ready for the archive: its item and, for an entry too long to
// hold, the scratch file that holds its stored bytes in place of the
// item's data.
struct ReadyEntry {
  ArchiveItem item;
  std::unique_ptr<ScratchFile> storedFile;
};

// The archive item of a packed entry: scrambled unless asked not to, listed
// with -v.
bool MakeEntry(const PlannedEntry& entry, PackedContent packed, const PackOptions& options,
               ReadyEntry* ready, std::string* error) {
  ArchiveItem* item = &ready->item;
  item->name = entry.name;
  if (!FileTimeFromStat(packed.info, &item->fileTime)) {
    *error = "the modification time of " + Quoted(entry.path) +
             " does not fit a FILETIME (it lies before 1601)";
    return false;
  }
  item->scramble = !options.noScramble;
  item->precompressed = packed.compressed;
  item->unpackedSize = packed.unpackedSize;
  item->data = std::move(packed.stored);
  ready->storedFile = std::move(packed.storedFile);
  if (options.verbose) {
    const uint64_t storedSize =
        ready->storedFile != nullptr ? ready->storedFile->size() : item->data.size();
    std::printf("%s  %" PRIu32 " -> %" PRIu64 "%s%s\n", Printable(entry.path).c_str(),
                item->unpackedSize, storedSize, item->precompressed ? "" : " (stored)",
                packed.leastCostOnly
                    ? " (least-cost parse: proving the smallest would pass the memory budget; "
                      "at most 3 bytes longer)"
                    : "");
  }
  return true;
}

// Collects, names and orders the files, calls `planned`, then reads and
// packs every entry (compressed where that makes it smaller, unless
// stored), handing each item over in archive order.
bool PackItems(const std::vector<std::string>& paths, const std::string& output,
               const PackOptions& options, const std::function<bool(std::string*)>& planned,
               const std::function<bool(ReadyEntry, std::string*)>& take, std::string* error) {
  std::vector<FoundFile> files;
  std::vector<PlannedEntry> entries;
  if (!CollectFiles(paths, output, &files, error) || !PlanEntries(files, &entries, error) ||
      !planned(error)) {
    return false;
  }
  std::vector<std::string> entryPaths;
  std::vector<uint64_t> sizes;
  for (const PlannedEntry& e : entries) {
    entryPaths.push_back(e.path);
    sizes.push_back(e.size);
  }
  // Scratch files go beside the output, where its own file is written.
  ScratchPlace scratch;
  scratch.folder = output.substr(0, output.rfind('/') + 1);
  if (options.scratchFrom != 0) scratch.from = options.scratchFrom;
  return PackContents(
      entryPaths, sizes, !options.store, scratch,
      [&](size_t i, PackedContent packed, std::string* why) {
        ReadyEntry ready;
        return MakeEntry(entries[i], std::move(packed), options, &ready, why) &&
               take(std::move(ready), why);
      },
      error);
}

ArchiveOptions ArchiveOptionsOf(const PackOptions& options) {
  ArchiveOptions archiveOptions;
  archiveOptions.directory = kDirectoryForms.at(options.directory);
  archiveOptions.compress = CompressWhole;
  return archiveOptions;
}

// Writes stored bytes held in a scratch file into the archive, scrambled on
// the way when asked, piece by piece.
bool AppendStoredFile(const ScratchFile& stored, bool scramble, AtomicFile* out,
                      std::string* error) {
  std::vector<uint8_t> piece(size_t(1) << 20);  // a multiple of 4, as scrambling needs
  Unscrambler unscrambler(uint32_t(stored.size()));
  for (uint64_t at = 0; at < stored.size();) {
    const size_t take = size_t(std::min<uint64_t>(piece.size(), stored.size() - at));
    if (!stored.ReadAt(at, piece.data(), take, error)) return false;
    if (scramble) unscrambler.Apply(piece.data(), take);
    if (!out->Append(piece.data(), take, error)) return false;
    at += take;
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

bool PackPathsToFile(const std::vector<std::string>& paths, const std::string& output,
                     const std::string& archive, const PackOptions& options, std::string* error) {
  AtomicFile file;
  ArchiveAssembler assembler(ArchiveOptionsOf(options));
  std::vector<uint8_t> directory, header;
  // Opened once the inputs are known (so that the file being written is
  // never among them), with the header's place first: its value is known
  // at the end.
  return PackItems(
             paths, output, options,
             [&](std::string* why) {
               return file.Open(archive, why) && file.AppendZeros(sizeof(ArchiveHeader), why);
             },
             [&](ReadyEntry ready, std::string* why) {
               size_t padding;
               if (ready.storedFile != nullptr) {
                 return assembler.Record(ready.item, ready.storedFile->size(), &padding, why) &&
                        AppendStoredFile(*ready.storedFile, ready.item.scramble, &file, why) &&
                        file.AppendZeros(padding, why);
               }
               std::vector<uint8_t> stored;
               return assembler.Add(std::move(ready.item), &stored, &padding, why) &&
                      file.Append(stored.data(), stored.size(), why) &&
                      file.AppendZeros(padding, why);
             },
             error) &&
         assembler.Finish(&directory, &header, error) &&
         file.Append(directory.data(), directory.size(), error) && file.WriteAt(0, header, error) &&
         file.Commit(nullptr, true, error);
}
