#include "core/archive_digest.h"

#include <cstring>

#include "core/system_functions.h"
#include "core/system_sha256.h"

ArchiveDigestCheck CheckArchiveDigest(const ModuleLoader& loader, const uint8_t* archive,
                                      uint32_t archiveSize) {
  const UpdaterResource stored = LockUpdaterResource(loader, kArchiveDigestResourceId);
  if (!stored.found) return ArchiveDigestCheck::kNoDigest;
  if (stored.data == nullptr || stored.size != kArchiveDigestSize) {
    return ArchiveDigestCheck::kDamaged;
  }
  uint8_t computed[kSha256Size];
  if (!ComputeSystemSha256(loader, archive, archiveSize, computed)) {
    // Without the system's hashing the bytes cannot be vouched for.
    return ArchiveDigestCheck::kDamaged;
  }
  return std::memcmp(computed, stored.data, kSha256Size) == 0 ? ArchiveDigestCheck::kMatches
                                                              : ArchiveDigestCheck::kDamaged;
}
