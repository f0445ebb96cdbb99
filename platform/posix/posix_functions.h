// The POSIX implementations of the platform's functions. Each keeps the
// contract of the Win32 function it is named after, over DOS paths mapped by
// drive_map.h.
#pragma once

#include "core/win_types.h"

// Files (posix_files.cpp)
win::Handle WINAPI_CC PosixCreateFileA(const char* path, win::Dword access, win::Dword share,
                                       void* security, win::Dword disposition, win::Dword flags,
                                       win::Handle templateFile);
win::Bool WINAPI_CC PosixWriteFile(win::Handle file, const void* buffer, win::Dword size,
                                   win::Dword* written, void* overlapped);
win::Bool WINAPI_CC PosixReadFile(win::Handle file, void* buffer, win::Dword size,
                                  win::Dword* read, void* overlapped);
win::Dword WINAPI_CC PosixGetFileSize(win::Handle file, win::Dword* sizeHigh);
win::Dword WINAPI_CC PosixSetFilePointer(win::Handle file, win::Long distance,
                                         win::Long* distanceHigh, win::Dword method);
win::Bool WINAPI_CC PosixCloseHandle(win::Handle object);
win::Bool WINAPI_CC PosixSetFileAttributesA(const char* path, win::Dword attributes);
win::Dword WINAPI_CC PosixGetFileAttributesA(const char* path);
win::Bool WINAPI_CC PosixDeleteFileA(const char* path);
win::Bool WINAPI_CC PosixCreateDirectoryA(const char* path, void* security);
win::Bool WINAPI_CC PosixMoveFileExA(const char* from, const char* to, win::Dword flags);
win::Bool WINAPI_CC PosixFlushFileBuffers(win::Handle file);
win::Bool WINAPI_CC PosixRemoveDirectoryA(const char* path);
win::Bool WINAPI_CC PosixGetFileTime(win::Handle file, win::FileTime* creation,
                                     win::FileTime* lastAccess, win::FileTime* lastWrite);
win::Bool WINAPI_CC PosixSetFileTime(win::Handle file, const win::FileTime* creation,
                                     const win::FileTime* lastAccess,
                                     const win::FileTime* lastWrite);
win::Dword WINAPI_CC PosixGetTempPathA(win::Dword size, char* buffer);
win::Bool WINAPI_CC PosixGetDiskFreeSpaceExA(const char* directory, uint64_t* freeToCaller,
                                             uint64_t* totalBytes, uint64_t* totalFree);
win::Uint WINAPI_CC PosixGetDriveTypeA(const char* root);

// Text (posix_text.cpp)
char* WINAPI_CC PosixCharNextA(const char* text);
win::Bool WINAPI_CC PosixIsDBCSLeadByte(uint8_t byte);
int WINAPI_CC PosixLstrcmpiA(const char* a, const char* b);
int WINAPI_CC PosixWvsprintfA(char* out, const char* format, va_list arguments);

// Settings files (posix_ini.cpp)
win::Dword WINAPI_CC PosixGetPrivateProfileStringA(const char* section, const char* key,
                                                   const char* defaultValue, char* out,
                                                   win::Dword size, const char* file);

// Shell copy (posix_shell_copy.cpp)
int WINAPI_CC PosixSHFileOperationA(win::ShFileOp* operation);

// Registry (posix_registry.cpp)
win::Long WINAPI_CC PosixRegOpenKeyExA(win::Hkey key, const char* subKey, win::Dword options,
                                       win::Dword access, win::Hkey* result);
win::Long WINAPI_CC PosixRegQueryValueExA(win::Hkey key, const char* name, win::Dword* reserved,
                                          win::Dword* type, uint8_t* data, win::Dword* size);
win::Long WINAPI_CC PosixRegCloseKey(win::Hkey key);

// Resources appended to an executable (posix_resource.cpp)
void* WINAPI_CC PosixFindResourceA(win::Hmodule module, const char* name, const char* type);
win::Dword WINAPI_CC PosixSizeofResource(win::Hmodule module, void* resource);
void* WINAPI_CC PosixLoadResource(win::Hmodule module, void* resource);
void* WINAPI_CC PosixLockResource(void* loaded);
// A module handle for the executable (or any file) at `hostPath`.
win::Hmodule PosixModuleForFile(const char* hostPath);

// Loading by name (posix_loader.cpp)
win::Hmodule WINAPI_CC PosixLoadLibraryA(const char* name);
void* WINAPI_CC PosixGetProcAddress(win::Hmodule module, const char* name);

// Desktop on a terminal (posix_desktop.cpp)
void InstallPosixDesktop(struct PlatformOperations& table);

// Fills `platform` with the POSIX functions and loads the drive map.
void InstallPosixPlatform();
