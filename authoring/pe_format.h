// The parts of the PE file layout that the resource reader and writer both
// rely on, named once.
#pragma once

#include <cstddef>
#include <cstdint>

// Sections the tools accept in one file: more than any linker writes for
// the updater, few enough to keep a hostile section table small.
constexpr size_t kMaxSections = 96;
constexpr size_t kSectionHeaderSize = 40;
// Entries of the optional header's data directory (8 bytes each).
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kCertificateDirectoryIndex = 4;
// Set in a resource directory entry's offset when it points to a table.
constexpr uint32_t kSubdirectoryFlag = 0x80000000u;
