// The table of system functions that the logic reaches files, the shell and
// the registry through. It is filled by name once at start-up, all or nothing.
// Its entries are those of the `system` table in core/platform_functions.h.
#pragma once

#include "core/platform.h"
#include "core/platform_functions.h"
#include "core/win_types.h"

#define UPDATER_LIBRARY_FIELD(library, fragments) win::Hmodule library;
#define UPDATER_SYSTEM_ENTRY UPDATER_ENTRY_FIELD
struct SystemFunctionTable {
  // The libraries' handles, then the functions.
  UPDATER_SYSTEM_LIBRARIES(UPDATER_LIBRARY_FIELD)
  UPDATER_PLATFORM_FUNCTIONS(UPDATER_SYSTEM_ONLY)
};
#undef UPDATER_SYSTEM_ENTRY
#undef UPDATER_LIBRARY_FIELD

extern SystemFunctionTable systemFunctions;

// Library loading and symbol lookup, as LoadLibraryA and GetProcAddress.
// The libraries are the system's, named by file name; the Windows layer
// loads them from the system folder only.
struct ModuleLoader {
  decltype(PlatformOperations::LoadLibraryA) LoadLibraryA;
  decltype(PlatformOperations::GetProcAddress) GetProcAddress;
};

// Loads the libraries and looks up every function of the table, every lookup
// made even after a failure. 1 when everything was found, else 0.
int ResolveSystemFunctions(const ModuleLoader& loader);

// Finds, loads and locks the resource of type "UPDATE", id 102, of
// `instanceHandle`. Returns its first byte and sets `archiveImageSize`, or
// returns nullptr when it is missing, empty or cannot be loaded.
const uint8_t* LockArchiveResource(const ModuleLoader& loader);

// A resource of type "UPDATE" of `instanceHandle`: whether it was found, and
// its bytes (nullptr when it is empty or cannot be loaded or locked).
struct UpdaterResource {
  bool found;
  const uint8_t* data;
  uint32_t size;
};
UpdaterResource LockUpdaterResource(const ModuleLoader& loader, unsigned id);
