#include "update/update_items.h"

#include <cstring>

#include "core/file_helpers.h"
#include "core/join_path.h"
#include "core/show_error.h"
#include "core/text_format.h"
#include "core/updater_state.h"
#include "settings/settings_reader.h"
#include "texts.h"
#include "update/contained_path.h"
#include "update/update_lines.h"

namespace {

constexpr int kKeySize = 32;

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
  win::Dword attributes = AttributesOf(target);
  if (attributes == win::kInvalidFileAttributes || attributes == win::kAttributeDirectory) {
    ShowError(s.existErrorMessage[0] != '\0' ? s.existErrorMessage : kMsgExistError);
    return false;
  }
  return true;
}

// Reads [UPDATE]'s key `format` numbered `index` into `key` (kKeySize
// bytes) and its whole value into `value` (kLongTextSize bytes), so that a
// value too long for its item is seen, not cut. False when it is absent;
// `anyLine` is set when it is there.
bool ReadNumberedLine(const char* format, int index, char* key, char* value, bool* anyLine) {
  FormatText(key, kKeySize, format, index);
  if (!ReadUpdateKey(kUpdateSection, key, value, kLongTextSize)) return false;
  *anyLine = true;
  return true;
}

// False, after its message, when `text` of `key` is too long for an item.
bool FitsItem(const char* key, const char* text) {
  if (std::strlen(text) < size_t(kPathSize)) return true;
  ShowErrorFormatted(kMsgUpdateValueTooLong, key);
  return false;
}

// False, after its message, when `path` of `key` may leave its folder.
bool StaysInside(const char* key, const char* path) {
  if (IsContainedRelativePath(path)) return true;
  ShowErrorFormatted(kMsgBadUpdatePath, key);
  return false;
}

}  // namespace

bool ReadUpdateItems(bool* anyLine) {
  UpdaterState& s = updaterState;
  s.updateItemCount = 0;
  // Every item's folder is below DataFolder.
  if (s.dataFolder[0] != '\0' && !StaysInside("DataFolder", s.dataFolder)) return false;
  for (int i = 0; i < kMaxUpdateLines; ++i) {
    char key[kKeySize];
    char line[kLongTextSize];
    if (!ReadNumberedLine("UpdateFile%02i", i, key, line, anyLine)) break;
    UpdateLine parsed;
    ParseUpdateLine(line, &parsed);
    // The "e" test is made whatever its install-mode field says.
    bool used = parsed.mode == kModeExistTest || parsed.installMode == kAnyInstallMode ||
                parsed.installMode == s.instMode;
    if (!used) continue;
    if (!FitsItem(key, parsed.path) || !StaysInside(key, parsed.path)) return false;
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
    char key[kKeySize];
    char value[kLongTextSize];
    if (!ReadNumberedLine("CopyFile%02i", i, key, value, anyLine)) break;
    CopyLine parsed;
    ParseCopyLine(value, &parsed);
    if (parsed.hasInstallMode && parsed.installMode != s.instMode) continue;
    if (!FitsItem(key, value)) return false;
    // An empty name copies the disc's root into the installation.
    if (parsed.name[0] != '\0' && !StaysInside(key, parsed.name)) return false;
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
