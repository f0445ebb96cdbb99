// Where the updater loads DLLs from: the system folder only. It runs as
// administrator and is started from folders that other programs can write
// to (Downloads), so a DLL put beside it must never be loaded.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace windows_layer {

// Limits the search of every later load in the process, the system DLLs'
// own loads included, to the system folder (SetDefaultDllDirectories) where
// Windows has it: Windows 8 and later, Vista and 7 with KB2533623.
void RestrictDllSearchToSystemFolder();

// Loads the library NAME, a file name without a folder, from the system
// folder only: with LOAD_LIBRARY_SEARCH_SYSTEM32 when `searchFlagKnown`
// (the Windows of SetDefaultDllDirectories), else by its full path there.
// nullptr when it cannot be loaded from there.
HMODULE LoadFromSystemFolder(LPCSTR name, bool searchFlagKnown);

}  // namespace windows_layer
