// Writes the resources of a Windows executable (PE32 or PE32+) without a
// resource compiler or linker: the executable's bytes in, the same
// executable with a rebuilt resource directory out.
//
// Every resource the executable has is kept (manifest, dialogs, icons,
// version, ...) unless it is removed or replaced; the result holds one new
// resource tree made from them:
// - When the section that holds the resource directory is the last section
//   of the image, that section is rebuilt: same address, new size. If its
//   bytes end the file they are replaced where they lie; otherwise they are
//   zeroed and the new ones go to the end of the file.
// - Otherwise (MinGW ld puts .reloc and the debug sections after .rsrc) a
//   new ".rsrc" section is added after the last section, at the next
//   SectionAlignment boundary of the image and the next FileAlignment
//   boundary of the file. No section moves, so nothing the code or the
//   relocations point at changes; the old section keeps its place in the
//   image so that the sections stay adjacent, is renamed ".oldrsrc" and its
//   file bytes are zeroed. Its header must fit in the room between the
//   section table and the first section's bytes (ld leaves several hundred
//   bytes of it).
// Anything the file holds after its sections (the COFF symbol table and its
// strings) stays at its offset; the new bytes go after it.
//
// Fixed in the headers: NumberOfSections, SizeOfImage,
// SizeOfInitializedData (by the change of the resource section's file
// size), the resource section's header (VirtualSize, SizeOfRawData,
// PointerToRawData, characteristics: initialized data, read), the resource
// data directory and the CheckSum.
//
// An Authenticode signature (the security data directory) covers the bytes
// that change, so a signed executable is refused unless the caller asks to
// drop the signature (`dropSignature`), to sign the result afterwards.
//
// The result depends on the inputs only: directory entries sorted as the
// loader's binary search needs them (names first, by their UTF-16 text in
// upper case, then numbers ascending; languages ascending), each
// resource's data at an 8-byte boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "authoring/pe_resources.h"

// A resource's data too large to hold (an update archive): `size` bytes,
// which `read` gives to `take` a piece at a time, in order, while the
// executable is written.
struct PeDataSource {
  using PieceTaker = std::function<bool(const uint8_t* piece, size_t size, std::string* error)>;
  uint64_t size = 0;
  std::function<bool(const PieceTaker& take, std::string* error)> read;
};

struct PeResourceData {
  PeResourceId type;
  PeResourceId name;
  uint16_t language = 0;
  uint32_t codePage = 0;  // what the data entry records; 0 as windres writes
  std::vector<uint8_t> data;
  PeDataSource source;  // when it has `read`, the data comes from it instead
};

struct PeResourceKey {
  PeResourceId type;
  PeResourceId name;
  int language = -1;  // negative: every language
};

struct PeResourceEdit {
  // Added, or replacing the resource of the same type, name and language.
  std::vector<PeResourceData> set;
  // Removed before `set` is applied; a key that matches nothing is no
  // error.
  std::vector<PeResourceKey> remove;
  // Drop an Authenticode signature instead of refusing the file.
  bool dropSignature = false;
};

// Writes `file` with `edit` applied to `out`. False with `error` set when
// the file is not a PE file, is damaged (headers, sections or resource
// tree outside the file, a tree that loops), is signed and the signature
// is not to be dropped, has no room for another section header, has a
// resource whose name the reader cut (longer than kMaxKeptNameUnits), or
// when the edit names a resource twice or by a name that is empty, longer
// than 65535 UTF-16 units or not UTF-8.
bool WritePeResources(const uint8_t* file, size_t size, const PeResourceEdit& edit,
                      std::vector<uint8_t>* out, std::string* error);

// Where WritePeResources writes an executable that is not to be held whole:
// its bytes appended in file order, and then the checksum, which covers
// them all, written over its place in the headers.
class PeOutput {
 public:
  virtual ~PeOutput() = default;
  virtual bool Append(const uint8_t* bytes, size_t size, std::string* error) = 0;
  virtual bool Overwrite(uint64_t offset, const uint8_t* bytes, size_t size,
                         std::string* error) = 0;
};

// The same, written to `out`: it holds no more than the input file, the
// tree and the resources given in memory. A source that fails, or gives
// another number of bytes than its size, fails the write; what `out` holds
// then is to be thrown away.
bool WritePeResources(const uint8_t* file, size_t size, const PeResourceEdit& edit, PeOutput* out,
                      std::string* error);

// The PE CheckSum of `file` as CheckSumMappedFile computes it: the file's
// 16-bit little-endian words (an odd last byte as a word of its own) added
// with end-around carry, the four bytes at `checksumOffset` taken as zero,
// plus the file's length.
uint32_t PeCheckSum(const uint8_t* file, size_t size, size_t checksumOffset);

// The same sum over a file given a piece at a time, pieces of any length.
class PeCheckSumAccumulator {
 public:
  void Add(const uint8_t* bytes, size_t size);
  uint32_t Finish() const;

 private:
  void AddWord(uint32_t word);
  uint64_t sum_ = 0;
  uint64_t length_ = 0;
  int pending_ = -1;  // the first byte of a word whose second is to come
};

// UTF-8 to UTF-16; false when `text` is not valid UTF-8 (overlong forms,
// surrogates and values past U+10FFFF included).
bool Utf8ToUtf16(const std::string& text, std::u16string* out);
