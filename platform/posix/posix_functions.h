// The POSIX implementations of the platform's functions: Posix<Name> for
// every entry of core/platform_functions.h, declared here from that list.
// Each keeps the contract of the Win32 function it is named after, over DOS
// paths mapped by drive_map.h. Each lives in the file of this folder named
// after its kind, posix_<kind>.cpp: files, find (folder listings),
// shell_copy, desktop, registry, resource, ini, text, bcrypt; the loader
// (posix_loader.cpp) exports them by name, and posix_platform.cpp fills the
// table of the directly-called ones and holds the few of no kind (memory,
// COM).
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
