// Settings files of the POSIX build. No reader is available in this build:
// every key reads as missing, and the default value is returned.
#include <cstring>

#include "platform/posix/posix_functions.h"

win::Dword WINAPI_CC PosixGetPrivateProfileStringA(const char*, const char*,
                                                   const char* defaultValue, char* out,
                                                   win::Dword size, const char*) {
  if (size == 0) return 0;
  size_t length = defaultValue != nullptr ? std::strlen(defaultValue) : 0;
  if (length >= size) length = size - 1;
  if (length > 0) std::memcpy(out, defaultValue, length);
  out[length] = '\0';
  return win::Dword(length);
}
