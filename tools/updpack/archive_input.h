// The archive that list, extract, verify and build-exe work on: the bytes of
// the file named on the command line, or, when that file is an updater
// executable, the bytes of its resource of type "UPDATE", id 102.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/updpack/updater_digest.h"

// Where an archive came from: a file of its own, or an updater that may
// carry its digest.
struct ArchiveOrigin {
  bool executable = false;
  DigestState digest = DigestState::kNone;
  std::string digestDetail;  // what differs, when the digest does not match
  bool carriesSignature = false;  // its certificate table is not empty
};

bool LoadArchive(const std::string& path, std::vector<uint8_t>* image, std::string* error,
                 ArchiveOrigin* origin = nullptr);

struct PeImage;
struct PeResource;

// An updater's archive: its resource "UPDATE" 102; nullptr when it has none.
const PeResource* FindArchiveResource(const PeImage& image);

struct ArchiveListing;

// Loads the archive and reads its header and directory, reporting what
// fails as one line; false then.
bool LoadArchiveListing(const std::string& path, std::vector<uint8_t>* image,
                        ArchiveListing* listing, ArchiveOrigin* origin = nullptr);
