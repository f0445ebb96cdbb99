// The registry of the POSIX build. No registry file is read in this build:
// every key is reported missing.
#include "platform/posix/posix_functions.h"

win::Long WINAPI_CC PosixRegOpenKeyExA(win::Hkey, const char*, win::Dword, win::Dword,
                                       win::Hkey* result) {
  if (result != nullptr) *result = nullptr;
  return 2;  // ERROR_FILE_NOT_FOUND
}

win::Long WINAPI_CC PosixRegQueryValueExA(win::Hkey, const char*, win::Dword*, win::Dword*,
                                          uint8_t*, win::Dword*) {
  return 2;
}

win::Long WINAPI_CC PosixRegCloseKey(win::Hkey) { return 0; }
