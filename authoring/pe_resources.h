// Reads the resources of a Windows executable (PE32 or PE32+) from its
// bytes, on any platform: the machine it was built for and every resource
// with its type, name, language and place in the file. Every offset and
// size is checked against the file, so a damaged or hostile file gives an
// error, never a read outside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A resource type or name: a number, or a name (UTF-8; the file keeps it in
// UTF-16).
struct PeResourceId {
  bool isName = false;
  uint16_t number = 0;
  std::string name;
  // The name was longer than the reader keeps (kMaxKeptNameUnits): `name`
  // holds its start, and it matches no name.
  bool cut = false;

  static PeResourceId Number(uint16_t number);
  static PeResourceId Name(const std::string& name);
  // "UPDATE" for a name, "#24" for a number.
  std::string ToString() const;
};

// Names are kept up to this many UTF-16 units: more than any name the tool
// looks for, so a resource tree whose names run to 65535 units each costs
// no more than that.
constexpr size_t kMaxKeptNameUnits = 256;

// Names match without regard to ASCII case, as the platform's lookup does.
bool SameResourceId(const PeResourceId& a, const PeResourceId& b);

struct PeResource {
  PeResourceId type;
  PeResourceId name;
  uint16_t language = 0;
  uint32_t codePage = 0;
  size_t offset = 0;  // of the data in the file
  uint32_t size = 0;
};

struct PeImage {
  uint16_t machine = 0;  // 0x14C i386, 0x8664 x86-64, ...
  bool pe32Plus = false;
  // The certificate table (the security data directory): where an
  // Authenticode signature lies, as a file offset and size; 0 and 0 when
  // the file carries none.
  uint32_t certificateOffset = 0;
  uint32_t certificateSize = 0;
  std::vector<PeResource> resources;  // in directory order
};

constexpr uint16_t kPeMachineI386 = 0x14C;
constexpr uint16_t kPeMachineAmd64 = 0x8664;
constexpr uint16_t kPeResourceVersion = 16;
constexpr uint16_t kPeResourceManifest = 24;

// Reads `file`. False with `error` set when it is not a PE file or its
// resource directory is damaged, or the names kept for its resources would
// take more bytes than the file has (a tree that shares one long name among
// many resources); an image without resources is no error.
bool ReadPeImage(const uint8_t* file, size_t size, PeImage* image, std::string* error);

// The first resource of `type` and `name` in `language`, or in any
// language when `language` is negative; nullptr when there is none.
const PeResource* FindPeResource(const PeImage& image, const PeResourceId& type,
                                 const PeResourceId& name, int language = -1);
