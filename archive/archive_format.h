// The archive container's records, byte for byte. All integers are
// little-endian; the records are read in place, so the host must be too.
#pragma once

#include <cstdint>

#include "core/win_types.h"

constexpr uint32_t kArchiveMagic = 0x00325156;  // "VQ2\0"
constexpr uint32_t kDirectoryCompressed = 0x1;
constexpr uint32_t kDirectoryScrambled = 0x2;
constexpr uint8_t kEntryCompressed = 0x02;
constexpr uint8_t kEntryScrambledMark = 1;

struct ArchiveHeader {
  uint32_t magic;
  uint32_t flags;
  uint32_t directoryOffset;
  uint32_t entryCount;
};
static_assert(sizeof(ArchiveHeader) == 16, "header is 16 bytes");

struct ArchiveEntry {
  char name[260];
  uint8_t flags;
  uint8_t reserved1;
  uint8_t scrambled;
  uint8_t reserved2;
  win::FileTime fileTime;
  uint32_t unpackedSize;
  uint32_t storedSize;
};
static_assert(sizeof(ArchiveEntry) == 280, "entry record is 280 bytes");

// In memory: the header as read, followed by entryCount plain records.
struct ArchiveDirectory {
  ArchiveHeader header;
  ArchiveEntry entries[1];  // entryCount records
};

// Room taken in the data area: storedSize rounded up to 16 (32-bit).
inline uint32_t PaddedSize(uint32_t storedSize) { return (storedSize + 15u) & ~15u; }
