// Loading by name: the system libraries are pseudo-modules whose
// functions are the POSIX implementations, looked up by their Win32 names.
#include <strings.h>

#include <cstring>

#include "platform/posix/posix_functions.h"

namespace {

struct Library {
  const char* name;
};
const Library kKernel32{"KERNEL32.DLL"};
const Library kShell32{"SHELL32.DLL"};
const Library kAdvapi32{"ADVAPI32.DLL"};
const Library kBcrypt{"BCRYPT.DLL"};
const Library* const kLibraries[] = {&kKernel32, &kShell32, &kAdvapi32, &kBcrypt};

struct Export {
  const Library* library;
  const char* name;
  void* address;
};

template <typename F>
void* Address(F* f) {
  return reinterpret_cast<void*>(f);
}

const Export kExports[] = {
    {&kKernel32, "CreateFileA", Address(PosixCreateFileA)},
    {&kKernel32, "WriteFile", Address(PosixWriteFile)},
    {&kKernel32, "ReadFile", Address(PosixReadFile)},
    {&kKernel32, "GetFileSize", Address(PosixGetFileSize)},
    {&kKernel32, "SetFilePointer", Address(PosixSetFilePointer)},
    {&kKernel32, "CloseHandle", Address(PosixCloseHandle)},
    {&kKernel32, "SetFileAttributesA", Address(PosixSetFileAttributesA)},
    {&kKernel32, "GetFileAttributesA", Address(PosixGetFileAttributesA)},
    {&kKernel32, "FindResourceA", Address(PosixFindResourceA)},
    {&kKernel32, "SizeofResource", Address(PosixSizeofResource)},
    {&kKernel32, "LoadResource", Address(PosixLoadResource)},
    {&kKernel32, "LockResource", Address(PosixLockResource)},
    {&kShell32, "SHFileOperationA", Address(PosixSHFileOperationA)},
    {&kAdvapi32, "RegOpenKeyExA", Address(PosixRegOpenKeyExA)},
    {&kAdvapi32, "RegQueryValueExA", Address(PosixRegQueryValueExA)},
    {&kAdvapi32, "RegCloseKey", Address(PosixRegCloseKey)},
    {&kBcrypt, "BCryptOpenAlgorithmProvider", Address(PosixBCryptOpenAlgorithmProvider)},
    {&kBcrypt, "BCryptGetProperty", Address(PosixBCryptGetProperty)},
    {&kBcrypt, "BCryptCreateHash", Address(PosixBCryptCreateHash)},
    {&kBcrypt, "BCryptHashData", Address(PosixBCryptHashData)},
    {&kBcrypt, "BCryptFinishHash", Address(PosixBCryptFinishHash)},
    {&kBcrypt, "BCryptDestroyHash", Address(PosixBCryptDestroyHash)},
    {&kBcrypt, "BCryptCloseAlgorithmProvider", Address(PosixBCryptCloseAlgorithmProvider)},
};

}  // namespace

win::Hmodule WINAPI_CC PosixLoadLibraryA(const char* name) {
  for (const Library* library : kLibraries) {
    if (strcasecmp(library->name, name) == 0) {
      return const_cast<Library*>(library);
    }
  }
  return nullptr;
}

void* WINAPI_CC PosixGetProcAddress(win::Hmodule module, const char* name) {
  for (const Export& e : kExports) {
    if (e.library == module && std::strcmp(e.name, name) == 0) return e.address;
  }
  return nullptr;
}
