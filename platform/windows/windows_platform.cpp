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
#define UPDATER_WIN32_ENTRY(name) Bind(platform.name, &::name);
#define UPDATER_WIN32_FILL(table, library, fragments, result, name, parameters) \
  UPDATER_BY_TABLE(table, UPDATER_WIN32_ENTRY, UPDATER_SKIP_ENTRY, UPDATER_SKIP_ENTRY)(name)
  UPDATER_PLATFORM_FUNCTIONS(UPDATER_WIN32_FILL)
#undef UPDATER_WIN32_FILL
#undef UPDATER_WIN32_ENTRY
}
