#include "archive/extract_entry.h"

#include <cstring>

#include "archive/archive_directory.h"
#include "archive/content_stream.h"
#include "core/file_helpers.h"
#include "core/free_space.h"
#include "core/join_path.h"
#include "core/platform.h"
#include "core/show_error.h"
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
  win::FileTime lastWrite{};
  if (!ReadFileTimes(path, nullptr, nullptr, &lastWrite)) return false;
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
    win::Handle file = OpenForWriting(temporaryPath, win::kCreateNew);
    if (file != win::InvalidHandle()) return file;
  }
  return win::InvalidHandle();
}

}  // namespace

void RemoveTemporaryLeftovers(const char* path) {
  char temporaryPath[kPathSize];
  for (unsigned attempt = 0; attempt < kTemporaryNames; ++attempt) {
    if (!TemporaryNameBeside(path, attempt, temporaryPath) || IsAbsent(temporaryPath)) return;
    RemoveFile(temporaryPath);
  }
}

FileContent BlockContent(const void* bytes, uint32_t size) {
  return FileContent{bytes, size, nullptr, nullptr};
}

FileContent EntryFileContent(const ArchiveEntry* entry, const uint8_t* stored) {
  return FileContent{nullptr, entry->unpackedSize, entry, stored};
}

namespace {

// The content's pieces written to an open file.
class FileSink final : public ContentSink {
 public:
  explicit FileSink(win::Handle file) : file_(file) {}
  bool Take(const uint8_t* bytes, size_t size) override {
    return WriteAll(file_, bytes, win::Dword(size));
  }

 private:
  win::Handle file_;
};

}  // namespace

ContentStatus WriteContent(win::Handle file, const FileContent& content) {
  FileSink sink(file);
  if (content.entry == nullptr) {
    // A block is written in one call, as it always was: blocks are the
    // small files that the run reads whole.
    return sink.Take(static_cast<const uint8_t*>(content.bytes), content.size)
               ? ContentStatus::kOk
               : ContentStatus::kWriteFailed;
  }
  void* work = nullptr;
  if (ContentNeedsWork(*content.entry)) {
    work = platform.GlobalAlloc(win::kGmemFixed, kContentWorkSize);
    if (work == nullptr) return ContentStatus::kNoMemory;
  }
  const ContentResult result =
      ProduceContentFrom(*content.entry, content.stored, static_cast<uint8_t*>(work), sink);
  if (work != nullptr) platform.GlobalFree(work);
  switch (result) {
    case ContentResult::kOk: return ContentStatus::kOk;
    case ContentResult::kDamaged: return ContentStatus::kDamaged;
    default: return ContentStatus::kWriteFailed;
  }
}

bool WriteWholeContent(const char* path, const FileContent& content, const win::FileTime* fileTime,
                       ContentStatus* status) {
  ContentStatus result = ContentStatus::kWriteFailed;
  char temporaryPath[kPathSize];
  win::Handle file = CreateTemporaryBeside(path, temporaryPath);
  if (file != win::InvalidHandle()) {
    result = WriteContent(file, content);
    if (result == ContentStatus::kOk && fileTime != nullptr && !SetAllTimes(file, *fileTime)) {
      result = ContentStatus::kWriteFailed;
    }
    // The content is on the disk before the name points at it.
    if (result == ContentStatus::kOk && !FlushFile(file)) result = ContentStatus::kWriteFailed;
    CloseFile(file);
    // The installed file is replaced in one step, only by complete content.
    if (result == ContentStatus::kOk &&
        !RenameFile(temporaryPath, path,
                    win::kMoveFileReplaceExisting | win::kMoveFileWriteThrough)) {
      result = ContentStatus::kWriteFailed;
    }
    if (result != ContentStatus::kOk) RemoveFile(temporaryPath);
  }
  if (status != nullptr) *status = result;
  return result == ContentStatus::kOk;
}

int WriteWholeFile(const char* path, const void* buffer, uint32_t size,
                   const win::FileTime* fileTime) {
  return WriteWholeContent(path, BlockContent(buffer, size), fileTime, nullptr) ? 1 : 0;
}

const ArchiveEntry* PrepareEntry(const char* name, const char* destinationPath,
                                 const uint8_t** stored) {
  const ArchiveEntry* entry = FindEntry(name, stored);
  if (entry == nullptr) {
    ShowError(kMsgEntryNotFound);
    return nullptr;
  }
  if (destinationPath != nullptr && !EnoughSpace(destinationPath, entry->unpackedSize)) {
    return nullptr;
  }
  return entry;
}

int ExtractEntry(const char* name, const char* destinationPath, int onlyIfNewer) {
  const uint8_t* stored = nullptr;
  const ArchiveEntry* entry = PrepareEntry(name, destinationPath, &stored);
  if (entry == nullptr) return 0;

  const win::Dword attributes = AttributesOf(destinationPath);
  const bool exists = attributes != win::kInvalidFileAttributes;
  if (exists && (attributes & win::kAttributeDirectory)) return 0;
  if (exists && (attributes & win::kAttributeReadonly)) MakeWritable(destinationPath);
  if (onlyIfNewer && exists && ExistingFileIsNewer(destinationPath, entry->fileTime)) return 1;
  ContentStatus status = ContentStatus::kOk;
  if (WriteWholeContent(destinationPath, EntryFileContent(entry, stored), &entry->fileTime,
                        &status)) {
    return 1;
  }
  ShowContentError(status, entry->name);
  return 0;
}
