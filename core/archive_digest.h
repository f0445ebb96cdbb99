// The digest an updater carries of its own archive. Beside the archive
// (resource "UPDATE" 102) the updater holds resource "UPDATE" 103: exactly
// the 32 bytes of the SHA-256 digest of the archive resource's bytes. The
// start-up checks it before anything is read from the archive, so that a
// damaged download is refused before it writes a byte of the game. The
// digest is computed by the system's own cryptography (see system_sha256.h).
#pragma once

#include <cstdint>

struct ModuleLoader;

constexpr unsigned kArchiveDigestResourceId = 103;
constexpr uint32_t kArchiveDigestSize = 32;

enum class ArchiveDigestCheck {
  kNoDigest,  // an updater made without a digest: it runs as before
  kMatches,
  kDamaged,  // the digest differs, has another length, or cannot be computed
};

ArchiveDigestCheck CheckArchiveDigest(const ModuleLoader& loader, const uint8_t* archive,
                                      uint32_t archiveSize);
