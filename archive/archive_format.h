// The archive container's records, byte for byte. All integers are
// little-endian; the records are read in place, so the host must be too.
//
//   offset 0                16                          directoryOffset     end
//   +--------------------+---------------------------+-------------------+
//   | header (16 bytes)  | data area                 | directory block   |
//   +--------------------+---------------------------+-------------------+
//
//   header:     magic "VQ2\0" | flags u32 | directoryOffset u32 | entryCount u32
//               flags: 0x1 directory compressed, 0x2 directory scrambled
//
//   data area:  | entry 0's stored bytes | pad | entry 1's ... | pad | ...
//               each entry's storedSize rounded up to 16 (32-bit arithmetic),
//               in directory order; the padding is never read
//
//   directory:  entryCount records of 280 bytes; when compressed, one stream
//               (archive/token_format.h) running to the end of the archive,
//               scrambled after compression when both flags are set
//
//   entry record (280 bytes):
//     0   name[260]     Shift-JIS, NUL-terminated, matched ignoring case
//     260 flags         0x02: the stored bytes are a compressed stream
//     261 (not read)
//     262 scrambled     exactly 1: the stored bytes are scrambled
//     263 (not read)
//     264 fileTime      FILETIME, low then high 32 bits
//     272 unpackedSize  the content's size
//     276 storedSize    bytes taken in the data area, before padding
#pragma once

#include <cstdint>

#include "core/win_types.h"

constexpr uint32_t kArchiveMagic = 0x00325156;  // "VQ2\0"
constexpr uint32_t kDirectoryCompressed = 0x1;
constexpr uint32_t kDirectoryScrambled = 0x2;
constexpr uint8_t kEntryCompressed = 0x02;
constexpr uint8_t kEntryScrambledMark = 1;
constexpr uint32_t kDataAlignment = 16;

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
constexpr uint64_t kEntrySize = 280;
static_assert(sizeof(ArchiveEntry) == kEntrySize, "entry record is 280 bytes");

// In memory: the header as read, followed by entryCount plain records.
struct ArchiveDirectory {
  ArchiveHeader header;
  ArchiveEntry entries[1];  // entryCount records
};

// Room taken in the data area: storedSize rounded up to 16 (32-bit).
inline uint32_t PaddedSize(uint32_t storedSize) {
  return (storedSize + (kDataAlignment - 1)) & ~(kDataAlignment - 1);
}
