#include "platform/windows/dll_search.h"

#include <cstring>

#include "platform/windows/layer_functions.h"

namespace windows_layer {
namespace {

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

// SetDefaultDllDirectories, looked up at run time: kernel32 of Vista and 7
// without KB2533623 lacks it and knows none of the LOAD_LIBRARY_SEARCH_*
// flags either.
SetDefaultDllDirectoriesFunction FindSetDefaultDllDirectories() {
  const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  if (kernel32 == nullptr) return nullptr;
  return reinterpret_cast<SetDefaultDllDirectoriesFunction>(
      reinterpret_cast<void*>(GetProcAddress(kernel32, "SetDefaultDllDirectories")));
}

}  // namespace

void RestrictDllSearchToSystemFolder() {
  if (const SetDefaultDllDirectoriesFunction setDefault = FindSetDefaultDllDirectories()) {
    setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
}

HMODULE LoadFromSystemFolder(LPCSTR name, bool searchFlagKnown) {
  if (searchFlagKnown) return LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  char path[MAX_PATH];
  const UINT folderLength = GetSystemDirectoryA(path, MAX_PATH);
  const size_t nameLength = std::strlen(name);
  if (folderLength == 0 || folderLength + 1 + nameLength >= MAX_PATH) return nullptr;
  path[folderLength] = '\\';
  std::memcpy(path + folderLength + 1, name, nameLength + 1);
  // The library's own imports are then searched from the system folder
  // first, not from the updater's.
  return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE WINAPI LoadLibraryA(LPCSTR name) {
  return LoadFromSystemFolder(name, FindSetDefaultDllDirectories() != nullptr);
}

}  // namespace windows_layer
