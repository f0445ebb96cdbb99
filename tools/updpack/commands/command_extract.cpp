// updpack extract ARCHIVE [-C DIR] [NAME...]: writes entries' contents as
// files under DIR, with UTF-8 names and the entries' file times. Names are
// matched as the updater matches them (ignoring case); without names, every
// entry the updater can find is written.
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "authoring/archive_reader.h"
#include "authoring/entry_file_name.h"
#include "authoring/name_fold_keys.h"
#include "host/codepage.h"
#include "tools/updpack/commands/commands.h"
#include "tools/updpack/commands/progress_bar.h"
#include "tools/updpack/commands/tool_messages.h"
#include "tools/updpack/files/archive_input.h"
#include "tools/updpack/files/entry_file.h"
#include "tools/updpack/files/host_files.h"
#include "tools/updpack/packing/entry_names.h"

namespace {

struct ExtractOptions {
  std::string archive;
  std::string folder = ".";
  std::vector<std::string> names;
};

std::string Place(const ArchiveListing& listing, size_t index) {
  return "entry " + std::to_string(index) + " " + Quoted(EntryDisplayName(listing.entries[index]));
}

// The first entry of each name as the updater compares names: one key per
// entry, so choosing stays linear in the entries.
class FirstOfName {
 public:
  explicit FirstOfName(const ArchiveListing& listing) {
    for (size_t i = 0; i < listing.entries.size(); ++i) {
      const ArchiveEntry& e = listing.entries[i];
      if (EntryNameIsTerminated(e)) first_.emplace(keys_.Key(e.name), i);
    }
  }
  bool Find(const std::string& cp932, size_t* index) {
    const auto found = first_.find(keys_.Key(cp932));
    if (found == first_.end()) return false;
    *index = found->second;
    return true;
  }

 private:
  NameFoldKeys keys_;
  std::unordered_map<std::u16string, size_t> first_;
};

// The entries to write: those named, or every entry that no earlier entry
// hides by having the same name.
bool ChooseEntries(const ExtractOptions& options, const ArchiveListing& listing,
                   std::vector<size_t>* chosen) {
  FirstOfName firstOfName(listing);
  if (!options.names.empty()) {
    for (const std::string& name : options.names) {
      std::string cp932;
      size_t index;
      if (!Utf8ToCp932(name, &cp932) || !firstOfName.Find(cp932, &index)) {
        ReportError(Quoted(options.archive) + " has no entry named " + Quoted(name));
        return false;
      }
      chosen->push_back(index);
    }
    return true;
  }
  for (size_t i = 0; i < listing.entries.size(); ++i) {
    size_t first;
    const ArchiveEntry& e = listing.entries[i];
    if (EntryNameIsTerminated(e) && firstOfName.Find(e.name, &first) && first != i) {
      ReportWarning(Place(listing, i) + " is left out: " + Place(listing, first) +
                    " has the same name and the updater only ever finds that one");
      continue;
    }
    chosen->push_back(i);
  }
  return true;
}

// The host file name of an entry: its name in UTF-8, when that is a plain
// file name.
bool HostName(const ArchiveEntry& entry, std::string* utf8, std::string* error) {
  if (!EntryNameIsTerminated(entry)) {
    *error = "its name has no terminating NUL";
    return false;
  }
  const std::string why = WhyNotAFileName(entry.name);
  if (!why.empty()) {
    *error = "its name is not a plain file name: it " + why;
    return false;
  }
  if (!Cp932ToUtf8(entry.name, utf8)) {
    *error = "its name is not code page 932 text";
    return false;
  }
  return true;
}

int RunExtract(const ExtractOptions& options) {
  ArchiveFile archive;
  ArchiveListing listing;
  if (!OpenArchiveListing(options.archive, &archive, &listing)) return kFailure;
  std::string error;
  std::vector<size_t> chosen;
  if (!ChooseEntries(options, listing, &chosen)) return kFailure;
  if (!MakeFolders(options.folder, &error)) {
    ReportError(error);
    return kFailure;
  }
  uint64_t total = 0, done = 0;
  for (size_t i : chosen) total += listing.entries[i].storedSize;
  ProgressBar bar(total);
  int status = 0;
  std::vector<uint8_t> work(kContentWorkSize);
  for (size_t i : chosen) {
    const ArchiveEntry& entry = listing.entries[i];
    const std::string label = Printable(EntryDisplayName(entry));
    const StoredProgress progress = [&](uint64_t read) { bar.Update(done + read, label); };
    std::string name;
    bool written = HostName(entry, &name, &error);
    if (written) {
      EntryFile file(options.folder + "/" + name);
      written = ReadArchiveContent(archive, listing, i, work.data(), file, &error, progress) &&
                file.Commit(entry.fileTime, &error);
    }
    if (!written) {
      ReportError(Quoted(options.archive) + ": " + Place(listing, i) + ": " + error);
      status = kFailure;
    }
    done += entry.storedSize;
    bar.Update(done, label);
  }
  // One flush for all the files written, rather than one each (which took
  // most of the time of extracting thousands of small entries).
  if (!chosen.empty() && !SyncFilesUnder(options.folder, &error)) {
    ReportError(error);
    status = kFailure;
  }
  return status;
}

}  // namespace

void AddExtractCommand(CLI::App& app, int& status) {
  auto options = std::make_shared<ExtractOptions>();
  CLI::App* command = app.add_subcommand(
      "extract", "Writes the contents of entries as files, with the entries' file times.");
  command->add_option("archive", options->archive, "the archive")->required();
  command->add_option("names", options->names,
                      "entries to write, matched as the updater matches them (ignoring case); "
                      "all when none are named");
  command->add_option("-C,--folder", options->folder,
                      "the folder to write into (made if missing; default: the current one)");
  command->callback([options, &status] { status = RunExtract(*options); });
}
