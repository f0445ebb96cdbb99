#include "archive/extract_entry.h"

#include <cstring>

#include "archive/archive_directory.h"
#include "core/file_helpers.h"
#include "core/free_space.h"
#include "core/join_path.h"
#include "core/platform.h"
#include "core/show_error.h"
#include "core/system_functions.h"
#include "core/text_format.h"
#include "core/updater_state.h"
#include "texts.h"

bool EnoughSpace(const char* destinationPath, uint64_t needed) {
  char drive[3];
  uint32_t missing = 0;
  if (!DriveLacksSpace(destinationPath, needed, drive, &missing)) return true;
  ShowErrorFormatted(kMsgDiskSpace, drive, unsigned(missing));
  return false;
}

bool ExistingFileIsNewer(const char* path, win::FileTime entryTime) {
  const SystemFunctionTable& sys = systemFunctions;
  win::Handle file = sys.CreateFileA(path, win::kGenericRead, win::kFileShareRead, nullptr,
                                     win::kOpenExisting, win::kAttributeNormal, nullptr);
  if (file == win::InvalidHandle()) return false;
  win::FileTime lastWrite{};
  win::Bool read = platform.GetFileTime(file, nullptr, nullptr, &lastWrite);
  sys.CloseHandle(file);
  if (!read) return false;
  if (lastWrite.high != entryTime.high) return lastWrite.high > entryTime.high;
  return lastWrite.low > entryTime.low;
}

namespace {

constexpr unsigned kTemporaryNames = 0x10000;

// The temporary name number `attempt` beside `path`; false when it does
// not fit.
bool TemporaryNameBeside(const char* path, unsigned attempt, char* temporaryPath) {
  const int folderLength = FileNameOffset(path);
  char name[32];
  FormatText(name, sizeof name, "~upd%04x.tmp", attempt);
  if (size_t(folderLength) + std::strlen(name) + 1 > size_t(kPathSize)) return false;
  std::memcpy(temporaryPath, path, size_t(folderLength));
  std::strcpy(temporaryPath + folderLength, name);
  return true;
}

// Creates a new, empty file beside `path` for the replacement content and
// puts its path in `temporaryPath`: the first free name.
win::Handle CreateTemporaryBeside(const char* path, char* temporaryPath) {
  for (unsigned attempt = 0; attempt < kTemporaryNames; ++attempt) {
    if (!TemporaryNameBeside(path, attempt, temporaryPath)) return win::InvalidHandle();
    win::Handle file = systemFunctions.CreateFileA(temporaryPath, win::kGenericWrite, 0, nullptr,
                                                   1 /* CREATE_NEW */, win::kAttributeNormal,
                                                   nullptr);
    if (file != win::InvalidHandle()) return file;
  }
  return win::InvalidHandle();
}

}  // namespace

void RemoveTemporaryLeftovers(const char* path) {
  char temporaryPath[kPathSize];
  for (unsigned attempt = 0; attempt < kTemporaryNames; ++attempt) {
    if (!TemporaryNameBeside(path, attempt, temporaryPath) || IsAbsent(temporaryPath)) return;
    platform.DeleteFileA(temporaryPath);
  }
}

int WriteWholeFile(const char* path, const void* buffer, uint32_t size,
                   const win::FileTime* fileTime) {
  const SystemFunctionTable& sys = systemFunctions;
  char temporaryPath[kPathSize];
  win::Handle file = CreateTemporaryBeside(path, temporaryPath);
  if (file == win::InvalidHandle()) return 0;

  win::Dword written = 0;
  bool sound = sys.WriteFile(file, buffer, size, &written, nullptr) && written == size;
  if (sound && fileTime != nullptr) {
    sound = platform.SetFileTime(file, fileTime, fileTime, fileTime) != 0;
  }
  // The content is on the disk before the name points at it.
  sound = sound && platform.FlushFileBuffers(file) != 0;
  sys.CloseHandle(file);
  // The installed file is replaced in one step, only by complete content.
  if (sound) {
    sound = platform.MoveFileExA(temporaryPath, path,
                                 win::kMoveFileReplaceExisting | win::kMoveFileWriteThrough) != 0;
  }
  if (!sound) platform.DeleteFileA(temporaryPath);
  return sound ? 1 : 0;
}

const ArchiveEntry* PrepareEntry(const char* name, const char* destinationPath,
                                 EntryContent* content) {
  const uint8_t* stored = nullptr;
  const ArchiveEntry* entry = FindEntry(name, &stored);
  if (entry == nullptr) {
    ShowError(kMsgEntryNotFound);
    return nullptr;
  }
  if (destinationPath != nullptr && !EnoughSpace(destinationPath, entry->unpackedSize)) {
    return nullptr;
  }
  ContentStatus status = LoadEntryContent(*entry, stored, content);
  if (status != ContentStatus::kOk) {
    ShowContentError(status, entry->name);
    return nullptr;
  }
  return entry;
}

int ExtractEntry(const char* name, const char* destinationPath, int onlyIfNewer) {
  EntryContent content;
  const ArchiveEntry* entry = PrepareEntry(name, destinationPath, &content);
  if (entry == nullptr) return 0;

  int result = 0;
  const win::Dword attributes = systemFunctions.GetFileAttributesA(destinationPath);
  const bool exists = attributes != win::kInvalidFileAttributes;
  if (exists && (attributes & win::kAttributeDirectory)) {
    result = 0;
  } else {
    if (exists && (attributes & win::kAttributeReadonly)) {
      systemFunctions.SetFileAttributesA(destinationPath, win::kAttributeNormal);
    }
    if (onlyIfNewer && exists && ExistingFileIsNewer(destinationPath, entry->fileTime)) {
      result = 1;
    } else {
      result = WriteWholeFile(destinationPath, content.bytes, content.size, &entry->fileTime);
    }
  }
  ReleaseEntryContent(&content);
  return result;
}
