#include "update/update_items.h"

#include <cstring>

#include "core/join_path.h"
#include "core/show_error.h"
#include "core/system_functions.h"
#include "core/text_format.h"
#include "core/updater_state.h"
#include "settings/settings_reader.h"
#include "texts.h"
#include "update/contained_path.h"
#include "update/update_lines.h"

namespace {

// The "e" test: the file must exist under `instPath` (no `dataFolder`). A
// bare folder (attributes exactly FILE_ATTRIBUTE_DIRECTORY) does not count.
bool PassesExistTest(const char* path) {
  const UpdaterState& s = updaterState;
  char target[kPathSize];
  CopyText(target, sizeof target, s.instPath);
  if (!JoinPath(target, sizeof target, path)) {
    ShowErrorFormatted(kMsgPathTooLong, path);
    return false;
  }
  win::Dword attributes = systemFunctions.GetFileAttributesA(target);
  if (attributes == win::kInvalidFileAttributes || attributes == win::kAttributeDirectory) {
    ShowError(s.existErrorMessage[0] != '\0' ? s.existErrorMessage : kMsgExistError);
    return false;
  }
  return true;
}

}  // namespace

bool ReadUpdateItems(bool* anyLine) {
  UpdaterState& s = updaterState;
  s.updateItemCount = 0;
  // Every item's folder is below DataFolder.
  if (s.dataFolder[0] != '\0' && !IsContainedRelativePath(s.dataFolder)) {
    ShowErrorFormatted(kMsgBadUpdatePath, "DataFolder");
    return false;
  }
  for (int i = 0; i < kMaxUpdateLines; ++i) {
    char key[32];
    FormatText(key, sizeof key, "UpdateFile%02i", i);
    char line[kLongTextSize];
    if (!ReadUpdateKey(kUpdateSection, key, line, sizeof line)) break;
    *anyLine = true;
    UpdateLine parsed;
    ParseUpdateLine(line, &parsed);
    // The "e" test is made whatever its install-mode field says.
    bool used = parsed.mode == kModeExistTest || parsed.installMode == kAnyInstallMode ||
                parsed.installMode == s.instMode;
    if (!used) continue;
    if (std::strlen(parsed.path) >= size_t(kPathSize)) {
      ShowErrorFormatted(kMsgUpdateValueTooLong, key);
      return false;
    }
    if (!IsContainedRelativePath(parsed.path)) {
      ShowErrorFormatted(kMsgBadUpdatePath, key);
      return false;
    }
    if (parsed.mode == kModeExistTest) {
      if (!PassesExistTest(parsed.path)) return false;
      continue;
    }
    UpdateItem& item = s.updateItems[s.updateItemCount++];
    item.modeCode = parsed.mode;
    CopyText(item.path, sizeof item.path, parsed.path);
    item.nameOffset = FileNameOffset(item.path);
  }
  return true;
}

bool ReadCopyItems(bool* anyLine) {
  UpdaterState& s = updaterState;
  s.copyItemCount = 0;
  for (int i = 0; i < kMaxCopyLines; ++i) {
    char key[32];
    FormatText(key, sizeof key, "CopyFile%02i", i);
    // Read whole so that a value too long for its item is seen, not cut.
    char value[kLongTextSize];
    if (!ReadUpdateKey(kUpdateSection, key, value, sizeof value)) break;
    *anyLine = true;
    CopyLine parsed;
    ParseCopyLine(value, &parsed);
    if (parsed.hasInstallMode && parsed.installMode != s.instMode) continue;
    if (std::strlen(value) >= size_t(kPathSize)) {
      ShowErrorFormatted(kMsgUpdateValueTooLong, key);
      return false;
    }
    // An empty name copies the disc's root into the installation.
    if (parsed.name[0] != '\0' && !IsContainedRelativePath(parsed.name)) {
      ShowErrorFormatted(kMsgBadUpdatePath, key);
      return false;
    }
    if (parsed.disc < 0 || parsed.disc >= kDiskCheckFileCount) {
      ShowErrorFormatted(kMsgBadDiscNumber, key);
      return false;
    }
    // Disc 0 copies from the drive of the item before; the first has none.
    if (parsed.disc == 0 && s.copyItemCount == 0) {
      ShowErrorFormatted(kMsgNoSourceDisc, key);
      return false;
    }
    s.copyDiscs[s.copyItemCount] = parsed.disc;
    CopyText(s.copyNames[s.copyItemCount], kPathSize, parsed.name);
    ++s.copyItemCount;
  }
  return true;
}
