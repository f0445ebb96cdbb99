#include "authoring/archive_reader.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "archive/decompress.h"
#include "archive/token_format.h"
#include "archive/unscramble.h"
#include "authoring/entry_file_name.h"
#include "authoring/name_fold_keys.h"
#include "host/codepage.h"

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char buffer[512];
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(buffer, sizeof buffer, format, arguments);
  va_end(arguments);
  return buffer;
}

std::string EntryPlace(const ArchiveEntry& entry, size_t index) {
  return Format("entry %zu \"%s\"", index, EntryDisplayName(entry).c_str());
}

// Expands a compressed block of `stored` bytes into exactly `expected`
// bytes; on failure says how the stream went wrong.
bool Expand(const std::vector<uint8_t>& stored, uint64_t expected, std::vector<uint8_t>* out,
            std::string* error) {
  if (expected > MaxExpansion(stored.size())) {
    *error = Format("%" PRIu64 " bytes cannot come from a stream of %zu bytes", expected,
                    stored.size());
    return false;
  }
  out->assign(expected, 0);
  size_t produced = 0;
  const bool sound = Decompress(out->data(), out->size(), stored.data(), stored.size(), &produced);
  if (!sound) {
    *error = Format("the compressed stream is damaged: it breaks off after %zu of %" PRIu64
                    " bytes (it reads past its %zu stored bytes, copies from before its start "
                    "or runs past the recorded size)",
                    produced, expected, stored.size());
    return false;
  }
  if (produced != expected) {
    *error = Format("the compressed stream ends after %zu bytes, not the recorded %" PRIu64,
                    produced, expected);
    return false;
  }
  return true;
}

// The header and the directory; false with `error` set at the first fault
// that leaves nothing to read.
bool ReadDirectory(const uint8_t* image, size_t size, ArchiveListing* listing,
                   std::string* error) {
  if (size < sizeof(ArchiveHeader)) {
    *error = Format("header: the archive is %zu bytes, too short for its 16-byte header", size);
    return false;
  }
  if (size > UINT32_MAX) {
    *error = Format("header: the archive is %zu bytes, more than 32-bit offsets reach", size);
    return false;
  }
  ArchiveHeader& header = listing->header;
  std::memcpy(&header, image, sizeof header);
  listing->archiveSize = size;
  if (header.magic != kArchiveMagic) {
    *error = Format("header: the magic is %02X %02X %02X %02X, not 56 51 32 00 (\"VQ2\")",
                    image[0], image[1], image[2], image[3]);
    return false;
  }
  if (header.directoryOffset < sizeof(ArchiveHeader) || header.directoryOffset > size) {
    *error = Format("header: the directory offset %" PRIu32
                    " lies outside the archive (16 to %zu)",
                    header.directoryOffset, size);
    return false;
  }
  const uint64_t recordBytes = uint64_t(header.entryCount) * kEntrySize;
  const size_t blockSize = size - header.directoryOffset;
  std::vector<uint8_t> block(image + header.directoryOffset, image + size);
  std::vector<uint8_t> records;
  if (header.flags & kDirectoryCompressed) {
    if (header.flags & kDirectoryScrambled) Unscramble(block.data(), uint32_t(block.size()));
    std::string why;
    if (!Expand(block, recordBytes, &records, &why)) {
      *error = Format("directory: %" PRIu32 " entries at offset %" PRIu32 ": ", header.entryCount,
                      header.directoryOffset) +
               why;
      return false;
    }
  } else {
    if (recordBytes > blockSize) {
      *error = Format("directory: %" PRIu32 " entries need %" PRIu64
                      " bytes, but only %zu follow the directory offset %" PRIu32,
                      header.entryCount, recordBytes, blockSize, header.directoryOffset);
      return false;
    }
    records.assign(block.begin(), block.begin() + recordBytes);
    if (header.flags & kDirectoryScrambled) Unscramble(records.data(), uint32_t(records.size()));
  }
  listing->entries.resize(header.entryCount);
  listing->dataOffsets.resize(header.entryCount);
  uint64_t offset = sizeof(ArchiveHeader);
  for (uint32_t i = 0; i < header.entryCount; ++i) {
    std::memcpy(&listing->entries[i], records.data() + i * kEntrySize, kEntrySize);
    listing->dataOffsets[i] = offset;
    offset += (uint64_t(listing->entries[i].storedSize) + kDataAlignment - 1) &
              ~uint64_t(kDataAlignment - 1);
  }
  return true;
}

void CheckNames(const ArchiveListing& listing, std::vector<std::string>* problems) {
  const size_t count = listing.entries.size();
  std::vector<bool> usable(count, false);
  for (size_t i = 0; i < count; ++i) {
    const ArchiveEntry& entry = listing.entries[i];
    const std::string place = EntryPlace(entry, i);
    if (!EntryNameIsTerminated(entry)) {
      problems->push_back(place + ": the name has no terminating NUL within its 260 bytes");
      continue;
    }
    std::string utf8;
    if (!Cp932ToUtf8(entry.name, &utf8)) {
      problems->push_back(place + ": the name is not code page 932 text");
      continue;
    }
    const std::string why = WhyNotAFileName(entry.name);
    if (!why.empty()) problems->push_back(place + ": the name is not a plain file name: it " + why);
    usable[i] = true;
  }
  // Names equal as the updater compares them: the first one hides the
  // others. One key per name, so this stays linear in the entries.
  NameFoldKeys keys;
  std::unordered_map<std::u16string, size_t> firstOfKey;
  for (size_t i = 0; i < count; ++i) {
    if (!usable[i]) continue;
    const auto found = firstOfKey.emplace(keys.Key(listing.entries[i].name), i);
    if (found.second) continue;
    const size_t first = found.first->second;
    problems->push_back(EntryPlace(listing.entries[i], i) + ": has the name of " +
                        EntryPlace(listing.entries[first], first) +
                        " (ignoring case); the updater only ever finds the first");
  }
}

}  // namespace

bool EntryNameIsTerminated(const ArchiveEntry& entry) {
  return std::memchr(entry.name, '\0', sizeof entry.name) != nullptr;
}

std::string EntryDisplayName(const ArchiveEntry& entry) {
  const void* end = std::memchr(entry.name, '\0', sizeof entry.name);
  const size_t length = end ? size_t(static_cast<const char*>(end) - entry.name) : sizeof entry.name;
  return Cp932ToUtf8Lossy(std::string(entry.name, length));
}

bool ReadArchiveListing(const uint8_t* image, size_t size, ArchiveListing* listing,
                        std::string* error) {
  *listing = ArchiveListing{};
  return ReadDirectory(image, size, listing, error);
}

bool ReadArchiveContent(const uint8_t* image, size_t size, const ArchiveListing& listing,
                        size_t index, std::vector<uint8_t>* content, std::string* error) {
  const ArchiveEntry& entry = listing.entries[index];
  const uint64_t begin = listing.dataOffsets[index];
  const uint64_t end = begin + entry.storedSize;
  const uint64_t dataEnd = std::min<uint64_t>(listing.header.directoryOffset, size);
  if (entry.storedSize > 0xFFFFFFF0u) {
    *error = Format("the stored size %" PRIu32
                    " wraps around when rounded up to 16 in 32 bits, which moves every later "
                    "entry's data",
                    entry.storedSize);
    return false;
  }
  if (end > dataEnd) {
    *error = Format("its %" PRIu32 " stored bytes at offset %" PRIu64
                    " run past the data area, which ends at %" PRIu64,
                    entry.storedSize, begin, dataEnd);
    return false;
  }
  std::vector<uint8_t> stored(image + begin, image + end);
  if (entry.scrambled == kEntryScrambledMark) Unscramble(stored.data(), entry.storedSize);
  if (entry.flags & kEntryCompressed) return Expand(stored, entry.unpackedSize, content, error);
  if (entry.unpackedSize > entry.storedSize) {
    *error = Format("the unpacked size %" PRIu32 " of an entry stored plain exceeds its %" PRIu32
                    " stored bytes",
                    entry.unpackedSize, entry.storedSize);
    return false;
  }
  stored.resize(entry.unpackedSize);
  *content = std::move(stored);
  return true;
}

std::vector<std::string> VerifyArchive(const uint8_t* image, size_t size, VerifyProgress progress,
                                       void* context) {
  std::vector<std::string> problems;
  ArchiveListing listing;
  std::string error;
  if (!ReadArchiveListing(image, size, &listing, &error)) {
    problems.push_back(error);
    return problems;
  }
  CheckNames(listing, &problems);
  uint64_t total = 0, done = 0;
  for (const ArchiveEntry& entry : listing.entries) total += entry.storedSize;
  std::vector<uint8_t> content;
  for (size_t i = 0; i < listing.entries.size(); ++i) {
    if (!ReadArchiveContent(image, size, listing, i, &content, &error)) {
      problems.push_back(EntryPlace(listing.entries[i], i) + ": " + error);
    }
    done += listing.entries[i].storedSize;
    if (progress != nullptr) progress(done, total, context);
  }
  return problems;
}
