// The platform operations that the logic calls directly (as opposed to the
// functions of the SystemFunctionTable, which are resolved by name).
//
// Each entry has the binary signature of the Win32 function it is named after
// and keeps that function's contract; the entries are those of the
// `operations` table in core/platform_functions.h. The Windows layer fills the
// table with the real functions, the POSIX layer with implementations over a
// drive map; tests replace single entries to inject faults.
#pragma once

#include "core/platform_functions.h"
#include "core/win_types.h"

#define UPDATER_OPERATIONS_ENTRY UPDATER_ENTRY_FIELD
struct PlatformOperations {
  UPDATER_PLATFORM_FUNCTIONS(UPDATER_OPERATIONS_ONLY)
};
#undef UPDATER_OPERATIONS_ENTRY

extern PlatformOperations platform;

// The loader entries of `platform`, as ResolveSystemFunctions takes them.
struct ModuleLoader;
ModuleLoader PlatformLoader();
