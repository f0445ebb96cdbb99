// Loads a library in one of the ways below and prints the file it came from
// and the system folder, so that a case sees which of two DLLs of that name,
// one planted beside the probe and the system's, each way takes.
//
// Usage: dll_search_probe WAY NAME
//   plain       LoadLibraryA: the search of a program that does nothing
//               about it (its own folder first)
//   restricted  LoadLibraryA after the updater's first step,
//               RestrictDllSearchToSystemFolder: how the system's own DLLs
//               load theirs in the updater
//   table       the platform table's LoadLibraryA, as the updater's logic
//               loads by name (without the first step)
//   by-flag     the Windows layer's loading where LOAD_LIBRARY_SEARCH_SYSTEM32
//               is known
//   by-path     the same where it is not (Vista and 7 without KB2533623):
//               the full path in the system folder
// Output: "loaded PATH" and "system FOLDER". Exit status: 0 loaded,
// 1 not loaded, 3 bad usage.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "core/platform.h"
#include "platform/windows/dll_search.h"
#include "platform/windows/windows_platform.h"

namespace {

constexpr int kLoaded = 0;
constexpr int kNotLoaded = 1;
constexpr int kUsage = 3;

HMODULE Load(const char* way, const char* name, bool* known) {
  *known = true;
  if (std::strcmp(way, "plain") == 0) return LoadLibraryA(name);
  if (std::strcmp(way, "restricted") == 0) {
    windows_layer::RestrictDllSearchToSystemFolder();
    return LoadLibraryA(name);
  }
  if (std::strcmp(way, "table") == 0) {
    InstallWindowsPlatform();
    return static_cast<HMODULE>(platform.LoadLibraryA(name));
  }
  if (std::strcmp(way, "by-flag") == 0) return windows_layer::LoadFromSystemFolder(name, true);
  if (std::strcmp(way, "by-path") == 0) return windows_layer::LoadFromSystemFolder(name, false);
  *known = false;
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  bool known = false;
  const HMODULE module = argc == 3 ? Load(argv[1], argv[2], &known) : nullptr;
  const DWORD error = GetLastError();
  if (!known) {
    std::printf("usage: dll_search_probe plain|restricted|table|by-flag|by-path NAME\n");
    return kUsage;
  }
  char system[MAX_PATH];
  const UINT systemLength = GetSystemDirectoryA(system, MAX_PATH);
  std::printf("system %s\n", systemLength > 0 && systemLength < MAX_PATH ? system : "?");
  if (module == nullptr) {
    std::printf("not loaded (error %lu)\n", error);
    return kNotLoaded;
  }
  char path[MAX_PATH];
  const DWORD pathLength = GetModuleFileNameA(module, path, MAX_PATH);
  std::printf("loaded %s\n", pathLength > 0 && pathLength < MAX_PATH ? path : "?");
  return kLoaded;
}
