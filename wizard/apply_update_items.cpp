#include "wizard/apply_update_items.h"

#include "archive/extract_entry.h"
#include "core/join_path.h"
#include "core/platform.h"
#include "core/show_error.h"
#include "core/system_functions.h"
#include "core/updater_state.h"
#include "texts.h"
#include "wizard/item_paths.h"
#include "wizard/update_lines.h"

namespace {

bool IsExistingFile(const char* path) {
  win::Dword attributes = systemFunctions.GetFileAttributesA(path);
  return attributes != win::kInvalidFileAttributes && !(attributes & win::kAttributeDirectory);
}

// Mode "d": an existing target keeps its content and is written again with
// it, taking the time of the rewrite. False when the file cannot be read
// whole; the archive entry is written instead then.
bool RewriteInPlace(const char* target) {
  const SystemFunctionTable& sys = systemFunctions;
  win::Handle file = sys.CreateFileA(target, win::kGenericRead, win::kFileShareRead, nullptr,
                                     win::kOpenExisting, win::kAttributeNormal, nullptr);
  if (file == win::InvalidHandle()) return false;
  win::Dword sizeHigh = 0;
  win::Dword size = sys.GetFileSize(file, &sizeHigh);
  // A file of 4 GiB or more cannot be read in one block.
  void* block = (size == win::kInvalidFileSize || sizeHigh != 0)
                    ? nullptr
                    : platform.GlobalAlloc(win::kGmemFixed, size);
  win::Dword read = 0;
  bool whole = block != nullptr && sys.ReadFile(file, block, size, &read, nullptr) && read == size;
  sys.CloseHandle(file);
  // Its result is not needed: a failed rewrite leaves the file as it was.
  if (whole) WriteWholeFile(target, block, size, nullptr);
  if (block != nullptr) platform.GlobalFree(block);
  return whole;
}

}  // namespace

bool ApplyUpdateItems(bool overwriteOnly) {
  const UpdaterState& s = updaterState;
  for (int i = 0; i < s.updateItemCount; ++i) {
    const UpdateItem& item = s.updateItems[i];
    // The paths fit: CheckItemPaths has built them all before.
    char target[kPathSize];
    UpdateItemFolder(item, target);
    platform.CreateDirectoryA(target, nullptr);  // it may exist already
    JoinPath(target, sizeof target, item.path);

    if ((overwriteOnly || item.modeCode == kModeOverwrite) && !IsExistingFile(target)) continue;
    if (item.modeCode == kModeData && RewriteInPlace(target)) continue;
    if (!ExtractEntry(item.path + item.nameOffset, target, item.modeCode == kModeNewer)) {
      ShowError(kMsgWriteFailed);
      return false;
    }
  }
  return true;
}
