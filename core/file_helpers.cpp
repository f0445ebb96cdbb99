#include "core/file_helpers.h"

#include "core/platform.h"
#include "core/system_functions.h"

win::Dword AttributesOf(const char* path) { return systemFunctions.GetFileAttributesA(path); }

bool SetAttributes(const char* path, win::Dword attributes) {
  return systemFunctions.SetFileAttributesA(path, attributes) != 0;
}

bool MakeWritable(const char* path) { return SetAttributes(path, win::kAttributeNormal); }

win::Handle OpenForReading(const char* path) {
  return systemFunctions.CreateFileA(path, win::kGenericRead, win::kFileShareRead, nullptr,
                                     win::kOpenExisting, win::kAttributeNormal, nullptr);
}

win::Handle OpenForWriting(const char* path, win::Dword disposition) {
  return systemFunctions.CreateFileA(path, win::kGenericWrite, 0, nullptr, disposition,
                                     win::kAttributeNormal, nullptr);
}

void CloseFile(win::Handle file) { systemFunctions.CloseHandle(file); }

bool WriteAll(win::Handle file, const void* bytes, win::Dword size) {
  win::Dword written = 0;
  return systemFunctions.WriteFile(file, bytes, size, &written, nullptr) && written == size;
}

bool FlushFile(win::Handle file) { return platform.FlushFileBuffers(file) != 0; }

bool ReadFileSize(win::Handle file, uint64_t* size) {
  win::Dword sizeHigh = 0;
  const win::Dword sizeLow = systemFunctions.GetFileSize(file, &sizeHigh);
  if (sizeLow == win::kInvalidFileSize) return false;
  *size = uint64_t(sizeHigh) << 32 | sizeLow;
  return true;
}

bool ReadLastWriteTime(win::Handle file, win::FileTime* lastWrite) {
  return platform.GetFileTime(file, nullptr, nullptr, lastWrite) != 0;
}

bool SetAllTimes(win::Handle file, const win::FileTime& time) {
  return platform.SetFileTime(file, &time, &time, &time) != 0;
}

bool RemoveFile(const char* path) { return platform.DeleteFileA(path) != 0; }

bool RenameFile(const char* from, const char* to, win::Dword flags) {
  return platform.MoveFileExA(from, to, flags) != 0;
}

bool CreateFolder(const char* path) { return platform.CreateDirectoryA(path, nullptr) != 0; }

bool RemoveFolder(const char* path) { return platform.RemoveDirectoryA(path) != 0; }

bool ReadAttributes(const char* path, win::Dword* attributes) {
  *attributes = AttributesOf(path);
  if (*attributes != win::kInvalidFileAttributes) return true;
  // Confirmed by an open: a file that opens is there after all.
  win::Handle file = OpenForReading(path);
  if (file == win::InvalidHandle()) return true;
  CloseFile(file);
  return false;
}

bool IsAbsent(const char* path) {
  win::Dword attributes = 0;
  return ReadAttributes(path, &attributes) && attributes == win::kInvalidFileAttributes;
}

bool FlushAndClose(win::Handle file) {
  const bool flushed = FlushFile(file);
  CloseFile(file);
  return flushed;
}

bool ReadFileTimes(const char* path, win::FileTime* creation, win::FileTime* lastAccess,
                   win::FileTime* lastWrite) {
  win::Handle file = OpenForReading(path);
  if (file == win::InvalidHandle()) return false;
  const bool read = platform.GetFileTime(file, creation, lastAccess, lastWrite) != 0;
  CloseFile(file);
  return read;
}

bool SetFileTimes(const char* path, const win::FileTime& creation, const win::FileTime& lastAccess,
                  const win::FileTime& lastWrite) {
  win::Handle file =
      systemFunctions.CreateFileA(path, win::kFileWriteAttributes, 0, nullptr, win::kOpenExisting,
                                  win::kAttributeNormal, nullptr);
  if (file == win::InvalidHandle()) return false;
  const bool set = platform.SetFileTime(file, &creation, &lastAccess, &lastWrite) != 0;
  CloseFile(file);
  return set;
}

WholeFileReading ReadWholeFile(win::Handle file, uint32_t limit, uint32_t spare, void** block,
                               uint32_t* size) {
  *block = nullptr;
  uint64_t fileSize = 0;
  if (!ReadFileSize(file, &fileSize)) return WholeFileReading::kFailed;
  if (fileSize > limit) return WholeFileReading::kTooLarge;
  *size = uint32_t(fileSize);
  void* bytes = platform.GlobalAlloc(win::kGmemFixed, size_t(*size) + spare);
  if (bytes == nullptr) return WholeFileReading::kFailed;
  win::Dword bytesRead = 0;
  if (!systemFunctions.ReadFile(file, bytes, *size, &bytesRead, nullptr) || bytesRead != *size) {
    platform.GlobalFree(bytes);
    return WholeFileReading::kFailed;
  }
  *block = bytes;
  return WholeFileReading::kRead;
}
