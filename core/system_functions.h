// The table of system functions that the logic reaches files, the shell and
// the registry through. It is filled by name once at start-up, all or nothing.
#pragma once

#include "core/win_types.h"

struct SystemFunctionTable {
  win::Hmodule kernel32;
  win::Hmodule shell32;
  win::Hmodule advapi32;

  // KERNEL32.DLL
  win::Handle(WINAPI_CC* CreateFileA)(const char* path, win::Dword access, win::Dword share,
                                      void* security, win::Dword disposition, win::Dword flags,
                                      win::Handle templateFile);
  win::Bool(WINAPI_CC* WriteFile)(win::Handle file, const void* buffer, win::Dword size,
                                  win::Dword* written, void* overlapped);
  win::Bool(WINAPI_CC* ReadFile)(win::Handle file, void* buffer, win::Dword size,
                                 win::Dword* read, void* overlapped);
  win::Dword(WINAPI_CC* GetFileSize)(win::Handle file, win::Dword* sizeHigh);
  win::Dword(WINAPI_CC* SetFilePointer)(win::Handle file, win::Long distance,
                                        win::Long* distanceHigh, win::Dword method);
  win::Bool(WINAPI_CC* CloseHandle)(win::Handle object);
  win::Bool(WINAPI_CC* SetFileAttributesA)(const char* path, win::Dword attributes);
  win::Dword(WINAPI_CC* GetFileAttributesA)(const char* path);
  // SHELL32.DLL
  int(WINAPI_CC* SHFileOperationA)(win::ShFileOp* operation);
  // ADVAPI32.DLL
  win::Long(WINAPI_CC* RegOpenKeyExA)(win::Hkey key, const char* subKey, win::Dword options,
                                      win::Dword access, win::Hkey* result);
  win::Long(WINAPI_CC* RegQueryValueExA)(win::Hkey key, const char* name, win::Dword* reserved,
                                         win::Dword* type, uint8_t* data, win::Dword* size);
  win::Long(WINAPI_CC* RegCloseKey)(win::Hkey key);
};

extern SystemFunctionTable systemFunctions;

// Library loading and symbol lookup, as LoadLibraryA and GetProcAddress.
struct ModuleLoader {
  win::Hmodule(WINAPI_CC* LoadLibraryA)(const char* name);
  void*(WINAPI_CC* GetProcAddress)(win::Hmodule module, const char* name);
};

// Loads the three libraries and looks up all twelve functions, every lookup
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
