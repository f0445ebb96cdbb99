#include "core/free_space.h"

#include "core/platform.h"
#include "core/text_format.h"

bool DriveLacksSpace(const char* path, uint64_t needed, char drive[3], uint32_t* missing) {
  CopyText(drive, 3, path);
  uint64_t freeBytes = 0;
  if (!platform.GetDiskFreeSpaceExA(drive, &freeBytes, nullptr, nullptr)) return false;
  if (needed <= freeBytes) return false;
  const uint64_t lacking = needed - freeBytes;
  *missing = lacking > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(lacking);
  return true;
}
