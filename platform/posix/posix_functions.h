// The POSIX implementations of the platform's functions: Posix<Name> for
// every entry of core/platform_functions.h, declared here from that list.
// Each keeps the contract of the Win32 function it is named after, over DOS
// paths mapped by drive_map.h. Each lives in the file of this folder for its
// kind (posix_files.cpp, posix_find.cpp for folder listings,
// posix_shell_copy.cpp, posix_desktop.cpp, and so on).
#pragma once

#include "core/platform_functions.h"
#include "core/win_types.h"

#define UPDATER_POSIX_DECLARATION(table, library, fragments, result, name, parameters, failure) \
  result WINAPI_CC Posix##name parameters;
UPDATER_PLATFORM_FUNCTIONS(UPDATER_POSIX_DECLARATION)
#undef UPDATER_POSIX_DECLARATION

// A module handle for the executable (or any file) at `hostPath`.
win::Hmodule PosixModuleForFile(const char* hostPath);

// Fills `platform` with the POSIX functions and loads the drive map.
void InstallPosixPlatform();
