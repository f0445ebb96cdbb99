// The process-wide platform table, filled by the platform layer at start-up.
#include "core/platform.h"

#include "core/system_functions.h"

PlatformOperations platform;

ModuleLoader PlatformLoader() {
  return ModuleLoader{platform.LoadLibraryA, platform.GetProcAddress};
}
