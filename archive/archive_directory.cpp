#include "archive/archive_directory.h"

#include <cstring>

#include "archive/decompress.h"
#include "archive/token_format.h"
#include "archive/unscramble.h"
#include "core/platform.h"
#include "core/show_error.h"
#include "core/updater_state.h"
#include "texts.h"

namespace {

bool NameIsTerminated(const ArchiveEntry& entry) {
  return std::memchr(entry.name, '\0', sizeof entry.name) != nullptr;
}

// Every record's stored bytes must lie in the data area, and every size must
// be one that its stored bytes can yield.
bool EntriesAreSound(const ArchiveDirectory& directory) {
  uint64_t offset = sizeof(ArchiveHeader);
  const uint64_t dataEnd = directory.header.directoryOffset;
  for (uint32_t i = 0; i < directory.header.entryCount; ++i) {
    const ArchiveEntry& entry = directory.entries[i];
    if (!NameIsTerminated(entry)) return false;
    if (offset + entry.storedSize > dataEnd) return false;
    if (entry.flags & kEntryCompressed) {
      if (entry.unpackedSize > MaxExpansion(entry.storedSize)) return false;
    } else if (entry.unpackedSize > entry.storedSize) {
      return false;
    }
    offset += PaddedSize(entry.storedSize);
  }
  return true;
}

bool ExpandDirectory(const ArchiveHeader& header, uint8_t* records, uint64_t recordBytes) {
  const uint8_t* image = updaterState.archiveImage;
  const uint32_t storedLength = updaterState.archiveImageSize - header.directoryOffset;
  if (header.flags & kDirectoryCompressed) {
    if (recordBytes > MaxExpansion(storedLength)) return false;
    auto* work = static_cast<uint8_t*>(platform.GlobalAlloc(win::kGmemFixed, storedLength));
    if (work == nullptr) return false;
    std::memcpy(work, image + header.directoryOffset, storedLength);
    if (header.flags & kDirectoryScrambled) Unscramble(work, storedLength);
    size_t produced = 0;
    bool sound =
        Decompress(records, recordBytes, work, storedLength, &produced) && produced == recordBytes;
    platform.GlobalFree(work);
    return sound;
  }
  if (recordBytes > storedLength) return false;
  std::memcpy(records, image + header.directoryOffset, recordBytes);
  if (header.flags & kDirectoryScrambled) Unscramble(records, uint32_t(recordBytes));
  return true;
}

}  // namespace

ArchiveDirectory* OpenArchive() {
  const uint8_t* image = updaterState.archiveImage;
  const uint32_t imageSize = updaterState.archiveImageSize;
  if (image == nullptr || imageSize < sizeof(ArchiveHeader)) return nullptr;

  ArchiveHeader header;
  std::memcpy(&header, image, sizeof header);
  if (header.magic != kArchiveMagic) return nullptr;
  if (header.directoryOffset < sizeof header || header.directoryOffset > imageSize) {
    return nullptr;
  }
  const uint64_t recordBytes = uint64_t(header.entryCount) * kEntrySize;
  if (recordBytes > imageSize - header.directoryOffset && !(header.flags & kDirectoryCompressed)) {
    return nullptr;
  }
  if (recordBytes > MaxExpansion(imageSize)) return nullptr;

  auto* block = static_cast<uint8_t*>(
      platform.GlobalAlloc(win::kGmemFixed, size_t(sizeof header + recordBytes)));
  if (block == nullptr) return nullptr;
  auto* directory = reinterpret_cast<ArchiveDirectory*>(block);
  if (!ExpandDirectory(header, block + sizeof header, recordBytes)) {
    platform.GlobalFree(block);
    return nullptr;
  }
  std::memcpy(block, &header, sizeof header);
  if (!EntriesAreSound(*directory)) {
    platform.GlobalFree(block);
    return nullptr;
  }
  return directory;
}

void CloseArchive(ArchiveDirectory* directory) {
  if (directory != nullptr) platform.GlobalFree(directory);
}

const ArchiveEntry* FindEntry(const char* name, const uint8_t** storedBytes) {
  const ArchiveDirectory* directory = updaterState.archiveDirectory;
  if (directory == nullptr) return nullptr;
  uint32_t offset = sizeof(ArchiveHeader);
  for (uint32_t i = 0; i < directory->header.entryCount; ++i) {
    const ArchiveEntry& entry = updaterState.archiveEntries[i];
    if (platform.lstrcmpiA(entry.name, name) == 0) {
      if (storedBytes != nullptr) *storedBytes = updaterState.archiveImage + offset;
      return &entry;
    }
    offset += PaddedSize(entry.storedSize);
  }
  return nullptr;
}

ContentStatus LoadEntryContent(const ArchiveEntry& entry, const uint8_t* storedBytes,
                               EntryContent* content) {
  *content = EntryContent{storedBytes, entry.unpackedSize, nullptr};
  const uint8_t* stored = storedBytes;
  uint8_t* unscrambled = nullptr;
  if (entry.scrambled == kEntryScrambledMark) {
    unscrambled = static_cast<uint8_t*>(platform.GlobalAlloc(win::kGmemFixed, entry.storedSize));
    if (unscrambled == nullptr) return ContentStatus::kNoMemory;
    std::memcpy(unscrambled, storedBytes, entry.storedSize);
    Unscramble(unscrambled, entry.storedSize);
    stored = unscrambled;
  }
  if (!(entry.flags & kEntryCompressed)) {
    content->bytes = stored;
    content->ownedBlock = unscrambled;
    return ContentStatus::kOk;
  }
  auto* expanded = static_cast<uint8_t*>(platform.GlobalAlloc(win::kGmemFixed, entry.unpackedSize));
  if (expanded == nullptr) {
    if (unscrambled != nullptr) platform.GlobalFree(unscrambled);
    return ContentStatus::kNoMemory;
  }
  bool sound = Decompress(expanded, entry.unpackedSize, stored, entry.storedSize, nullptr);
  if (unscrambled != nullptr) platform.GlobalFree(unscrambled);
  if (!sound) {
    platform.GlobalFree(expanded);
    return ContentStatus::kDamaged;
  }
  content->bytes = expanded;
  content->ownedBlock = expanded;
  return ContentStatus::kOk;
}

void ReleaseEntryContent(EntryContent* content) {
  if (content->ownedBlock != nullptr) platform.GlobalFree(content->ownedBlock);
  *content = EntryContent{nullptr, 0, nullptr};
}

void ShowContentError(ContentStatus status, const char* name) {
  if (status == ContentStatus::kNoMemory) ShowError(kMsgCantAllocate);
  if (status == ContentStatus::kDamaged) ShowErrorFormatted(kMsgArchiveDamaged, name);
}

uint8_t* ReadEntry(const char* name, uint32_t* size, bool* owned) {
  const uint8_t* stored = nullptr;
  const ArchiveEntry* entry = FindEntry(name, &stored);
  if (entry == nullptr) {
    ShowError(kMsgEntryNotFound);
    return nullptr;
  }
  EntryContent content;
  ContentStatus status = LoadEntryContent(*entry, stored, &content);
  if (status != ContentStatus::kOk) {
    ShowContentError(status, name);
    return nullptr;
  }
  if (size != nullptr) *size = content.size;
  if (owned != nullptr) *owned = content.ownedBlock != nullptr;
  return const_cast<uint8_t*>(content.bytes);
}
