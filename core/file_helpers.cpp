#include "core/file_helpers.h"

#include "core/platform.h"
#include "core/system_functions.h"

bool ReadAttributes(const char* path, win::Dword* attributes) {
  const SystemFunctionTable& sys = systemFunctions;
  *attributes = sys.GetFileAttributesA(path);
  if (*attributes != win::kInvalidFileAttributes) return true;
  // Confirmed by an open: a file that opens is there after all.
  win::Handle file = sys.CreateFileA(path, win::kGenericRead, win::kFileShareRead, nullptr,
                                     win::kOpenExisting, win::kAttributeNormal, nullptr);
  if (file == win::InvalidHandle()) return true;
  sys.CloseHandle(file);
  return false;
}

bool IsAbsent(const char* path) {
  win::Dword attributes = 0;
  return ReadAttributes(path, &attributes) && attributes == win::kInvalidFileAttributes;
}

bool SetFileTimes(const char* path, const win::FileTime& creation,
                  const win::FileTime& lastAccess, const win::FileTime& lastWrite) {
  win::Handle file = systemFunctions.CreateFileA(path, win::kFileWriteAttributes, 0, nullptr,
                                                 win::kOpenExisting, win::kAttributeNormal, nullptr);
  if (file == win::InvalidHandle()) return false;
  const bool set = platform.SetFileTime(file, &creation, &lastAccess, &lastWrite) != 0;
  systemFunctions.CloseHandle(file);
  return set;
}
