// Fills the platform table with the real Win32 functions, each bound under
// its own name after the compile-time check of win32_binding.h.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "core/platform.h"
#include "core/platform_functions.h"
#include "platform/windows/win32_binding.h"
#include "platform/windows/windows_platform.h"

void InstallWindowsPlatform() {
#define UPDATER_OPERATIONS_ENTRY(library, fragments, result, name, parameters) \
  Bind(platform.name, &::name);
  UPDATER_PLATFORM_FUNCTIONS(UPDATER_OPERATIONS_ONLY)
#undef UPDATER_OPERATIONS_ENTRY
}
