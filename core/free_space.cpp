#include "core/free_space.h"

#include "core/platform.h"
#include "core/text_format.h"

bool DriveLacksSpace(const char* path, uint32_t needed, char drive[3], uint32_t* missing) {
  CopyText(drive, 3, path);
  uint64_t freeBytes = 0;
  if (!platform.GetDiskFreeSpaceExA(drive, &freeBytes, nullptr, nullptr)) return false;
  if (uint64_t(needed) <= freeBytes) return false;
  *missing = needed - uint32_t(freeBytes);
  return true;
}
