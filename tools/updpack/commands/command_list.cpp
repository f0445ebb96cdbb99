// updpack list ARCHIVE [--json]: the header's fields and every entry's
// record with its data offset, as a table or as JSON.
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "authoring/archive_reader.h"
#include "tools/updpack/commands/commands.h"
#include "tools/updpack/commands/tool_messages.h"
#include "tools/updpack/files/archive_input.h"
#include "tools/updpack/files/host_files.h"

namespace {

struct ListOptions {
  std::string archive;
  bool json = false;
};

std::string DirectoryFlags(uint32_t flags) {
  std::string text = (flags & kDirectoryCompressed) ? "compressed" : "not compressed";
  text += (flags & kDirectoryScrambled) ? ", scrambled" : ", not scrambled";
  if (flags & ~(kDirectoryCompressed | kDirectoryScrambled)) text += ", unknown bits set";
  return text;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", c);
      out += escaped;
    } else {
      out += char(c);
    }
  }
  return out + "\"";
}

// What an updater's digest says, for the table and for JSON.
const char* DigestWord(const ArchiveOrigin& origin) {
  if (!origin.executable) return "not an updater";
  switch (origin.digest) {
    case DigestState::kMatches: return "matches";
    case DigestState::kMismatch: return "does not match";
    case DigestState::kNone: break;
  }
  return "none";
}

// The name's bytes as stored (code page 932, up to its NUL), in hex: exact
// even where the name is not code page 932.
std::string NameBytes(const ArchiveEntry& e) {
  std::string hex;
  for (size_t i = 0; i < sizeof e.name && e.name[i] != '\0'; ++i) {
    char two[3];
    std::snprintf(two, sizeof two, "%02X", static_cast<unsigned char>(e.name[i]));
    hex += two;
  }
  return hex;
}

void PrintTable(const ListOptions& options, const ArchiveListing& listing,
                const ArchiveOrigin& origin) {
  const ArchiveHeader& h = listing.header;
  std::printf("archive           %s (%" PRIu64 " bytes)\n", Printable(options.archive).c_str(),
              listing.archiveSize);
  if (origin.executable) std::printf("digest            %s\n", DigestWord(origin));
  std::printf("magic             VQ2 (56 51 32 00)\n");
  std::printf("flags             0x%08" PRIX32 " (directory %s)\n", h.flags,
              DirectoryFlags(h.flags).c_str());
  std::printf("directory offset  %" PRIu32 "\n", h.directoryOffset);
  std::printf("entries           %" PRIu32 "\n\n", h.entryCount);
  std::printf("%5s  %-5s  %-3s  %-18s  %-28s  %10s  %10s  %10s  %s\n", "entry", "flags", "scr",
              "file time", "file time (UTC)", "unpacked", "stored", "offset", "name");
  for (size_t i = 0; i < listing.entries.size(); ++i) {
    const ArchiveEntry& e = listing.entries[i];
    std::printf("%5zu  0x%02X   %3u  0x%016" PRIX64 "  %-28s  %10" PRIu32 "  %10" PRIu32
                "  %10" PRIu64 "  %s\n",
                i, e.flags, e.scrambled, win::ToUint64(e.fileTime),
                IsoDateFromFileTime(e.fileTime).c_str(), e.unpackedSize, e.storedSize,
                listing.dataOffsets[i], Printable(EntryDisplayName(e)).c_str());
  }
}

void PrintJson(const ListOptions& options, const ArchiveListing& listing,
               const ArchiveOrigin& origin) {
  const ArchiveHeader& h = listing.header;
  std::printf("{\n  \"archive\": %s,\n  \"size\": %" PRIu64 ",\n",
              JsonString(options.archive).c_str(), listing.archiveSize);
  if (origin.executable) std::printf("  \"digest\": \"%s\",\n", DigestWord(origin));
  std::printf("  \"magic\": \"VQ2\",\n  \"flags\": %" PRIu32 ",\n", h.flags);
  std::printf("  \"directoryCompressed\": %s,\n  \"directoryScrambled\": %s,\n",
              (h.flags & kDirectoryCompressed) ? "true" : "false",
              (h.flags & kDirectoryScrambled) ? "true" : "false");
  std::printf("  \"directoryOffset\": %" PRIu32 ",\n  \"entryCount\": %" PRIu32 ",\n",
              h.directoryOffset, h.entryCount);
  std::printf("  \"entries\": [");
  for (size_t i = 0; i < listing.entries.size(); ++i) {
    const ArchiveEntry& e = listing.entries[i];
    std::printf(
        "%s\n    {\"index\": %zu, \"name\": %s, \"nameBytes\": \"%s\", \"flags\": %u, "
        "\"compressed\": %s, "
        "\"scrambled\": %u, \"fileTime\": %" PRIu64
        ", \"fileTimeUtc\": \"%s\", "
        "\"unpackedSize\": %" PRIu32 ", \"storedSize\": %" PRIu32 ", \"dataOffset\": %" PRIu64 "}",
        i == 0 ? "" : ",", i, JsonString(EntryDisplayName(e)).c_str(), NameBytes(e).c_str(),
        e.flags, (e.flags & kEntryCompressed) ? "true" : "false", e.scrambled,
        win::ToUint64(e.fileTime), IsoDateFromFileTime(e.fileTime).c_str(), e.unpackedSize,
        e.storedSize, listing.dataOffsets[i]);
  }
  std::printf("%s]\n}\n", listing.entries.empty() ? "" : "\n  ");
}

int RunList(const ListOptions& options) {
  ArchiveFile archive;
  ArchiveListing listing;
  ArchiveOrigin origin;
  if (!OpenArchiveListing(options.archive, &archive, &listing, &origin)) return kFailure;
  if (options.json) {
    PrintJson(options, listing, origin);
  } else {
    PrintTable(options, listing, origin);
  }
  return 0;
}

}  // namespace

void AddListCommand(CLI::App& app, int& status) {
  auto options = std::make_shared<ListOptions>();
  CLI::App* command = app.add_subcommand(
      "list",
      "Shows the header of an archive and every entry: name, flags, scrambled byte, "
      "file time, sizes and data offset.");
  command->add_option("archive", options->archive, "the archive")->required();
  command->add_flag("--json", options->json, "print JSON instead of a table");
  command->callback([options, &status] { status = RunList(*options); });
}
