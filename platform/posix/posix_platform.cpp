// Fills the platform table with the POSIX implementations, and implements
// the operations that need nothing of the host: memory and COM.
#include <cstdlib>

#include "core/platform.h"
#include "core/platform_functions.h"
#include "platform/posix/drive_map.h"
#include "platform/posix/posix_functions.h"

void* WINAPI_CC PosixGlobalAlloc(win::Uint flags, size_t bytes) {
  if (bytes == 0) bytes = 1;
  return (flags & win::kGmemZeroinit) ? std::calloc(1, bytes) : std::malloc(bytes);
}

void* WINAPI_CC PosixGlobalFree(void* block) {
  std::free(block);
  return nullptr;
}

// COM has nothing to initialise here.
win::Long WINAPI_CC PosixCoInitialize(void*) { return 0; }

void InstallPosixPlatform() {
#define UPDATER_OPERATIONS_ENTRY(library, fragments, result, name, parameters, failure) \
  platform.name = Posix##name;
  UPDATER_PLATFORM_FUNCTIONS(UPDATER_OPERATIONS_ONLY)
#undef UPDATER_OPERATIONS_ENTRY
  LoadDriveMapFromEnvironment();
}
