#include "settings/install_description.h"

#include "core/text_format.h"
#include "core/updater_state.h"
#include "settings/install_lists.h"
#include "settings/settings_reader.h"
#include "texts.h"

namespace {

// The add-on set shares the last selection slot.
constexpr int kAddOnSlot = kMaxInstallSelections - 1;
constexpr int kKeyNameSize = 32;

UpdaterState& state = updaterState;

void ShowListError(const char* key) {
  char message[kLongTextSize];
  FormatText(message, sizeof message, kMsgSetupListError, key);
  ShowSettingsError(message);
}

void ReadTextOr(const char* key, char* field, int size, const char* fallback) {
  if (!ReadSetupKey(key, field, size)) CopyText(field, size_t(size), fallback);
}

int32_t ReadNumberOr(const char* key, int32_t fallback) {
  int32_t value = fallback;
  ReadSetupNumber(key, &value);
  return value;
}

// An install size: at most 19 characters, read as an unsigned 64-bit number.
uint64_t ReadSize(const char* key) {
  char text[kNumberTextSize];
  return ReadSetupKey(key, text, sizeof text) ? ParseDecimal64(text) : 0;
}

bool ReadIdentity() {
  return ReadSetupKey("CompanyName", state.companyName, kPathSize) &&
         ReadSetupKey("GameTitle", state.gameTitle, kPathSize) &&
         ReadSetupKey("GameDir", state.gameDir, kPathSize) &&
         ReadSetupKey("GameExe", state.gameExe, kPathSize) &&
         ReadSetupKey("UninstExe", state.uninstExe, kPathSize);
}

bool ReadSetupBitmaps(char* list) {
  if (!ReadSetupKey("SetupBmp", list, kLongTextSize)) return false;
  if (SplitIntoSlots(list, state.setupBitmaps, kMaxSetupBitmaps, nullptr) == 0) {
    ShowSettingsError(kMsgSetupBmpsError);
    return false;
  }
  return true;
}

bool ReadSelections(char* list) {
  if (!ReadSetupNumber("InstallSelects", &state.installSelectCount)) return false;
  if (state.installSelectCount > kMaxInstallSelections) {
    ShowSettingsError(kMsgInstallSelectOver);
    return false;
  }
  char key[kKeyNameSize];
  for (int i = 0; i < state.installSelectCount; ++i) {
    InstallSelection& selection = state.installSelections[i];
    FormatText(key, sizeof key, "InstallTitle%i", i);
    if (!ReadSetupKey(key, selection.title, kPathSize)) return false;
    FormatText(key, sizeof key, "InstallFiles%i", i);
    if (!ReadSetupKey(key, list, kLongTextSize)) return false;
    if (SplitSelectionFiles(list, &selection) == 0) {
      ShowListError(key);
      return false;
    }
  }
  return true;
}

bool ReadShortcuts(char* list) {
  if (!ReadSetupNumber("Shortcuts", &state.shortcutCount)) return false;
  if (state.shortcutCount > kMaxShortcuts) {
    ShowSettingsError(kMsgShortcutsOver);
    return false;
  }
  char key[kKeyNameSize];
  for (int k = 0; k < state.shortcutCount; ++k) {
    FormatText(key, sizeof key, "Shortcut%i", k);
    if (!ReadSetupKey(key, list, kPathSize)) return false;
    if (!SplitShortcut(list, &state.shortcuts[k])) {
      ShowListError(key);
      return false;
    }
  }
  return true;
}

void ReadSizes() {
  char key[kKeyNameSize];
  for (int i = 0; i < state.installSelectCount; ++i) {
    FormatText(key, sizeof key, "InstallSize%i", i);
    state.installSelections[i].installSize = ReadSize(key);
  }
}

void ReadDiskCheckFiles() {
  char key[kKeyNameSize];
  for (int n = 0; n < kDiskCheckFileCount; ++n) {
    FormatText(key, sizeof key, "DiskCheckFile%i", n);
    ReadSetupKey(key, state.diskCheckFiles[n], kPathSize);
  }
}

// The program to run: no value, or exactly two tokens (more are ignored).
bool ReadExecApp(char* list) {
  if (!ReadSetupKey("ExecApp", list, kPathSize)) {
    state.execApp[0][0] = '\0';
    return true;
  }
  char* cursor = list;
  for (auto& slot : state.execApp) {
    if (!NextListToken(slot, kPathSize, &cursor)) {
      ShowListError("ExecApp");
      return false;
    }
  }
  return true;
}

void ReadTextsWithDefaults() {
  ReadTextOr("SelectSetupMessage", state.selectSetupMessage, kLongTextSize,
             kDefaultSelectSetupMessage);
  ReadTextOr("SaveDataFolderNameInInstall", state.saveDataFolderNameInInstall, kPathSize,
             "savedata");
  ReadTextOr("SaveDataFolderName", state.saveDataFolderName, kPathSize, state.gameDir);
  ReadTextOr("StrKeyInstPath", state.strKeyInstPath, kPathSize, "InstPath");
  ReadTextOr("ShortcutFolder", state.shortcutFolder, kPathSize, "");
}

// The add-on set replaces the files and size of the last selection slot. Its
// file list is required, so its absence is reported whatever quietKeys was.
bool ReadAddOnSet(char* list) {
  state.quietKeys = 0;
  if (!ReadSetupKey("InstallAddFiles", list, kLongTextSize)) return false;
  InstallSelection& slot = state.installSelections[kAddOnSlot];
  if (SplitSelectionFiles(list, &slot) == 0) {
    ShowSettingsError(kMsgInstallAddFilesError);
    return false;
  }
  state.quietKeys = 1;
  slot.installSize = ReadSize("InstallAddSize");
  return true;
}

}  // namespace

int ReadInstallDescription() {
  // One list text for every list value; lists that are shorter by nature
  // (shortcuts, ExecApp) are read into its first 260 bytes.
  char list[kLongTextSize];
  if (!ReadIdentity() || !ReadSetupBitmaps(list) || !ReadSelections(list) || !ReadShortcuts(list)) {
    return 0;
  }
  // From here on a missing key is not reported, except the add-on files.
  state.quietKeys = 1;
  ReadTextOr("GameClass", state.gameClass, kPathSize, state.gameTitle);
  state.defaultSelect = ReadNumberOr("DefaultSelect", 0);
  ReadSizes();
  ReadDiskCheckFiles();
  if (!ReadExecApp(list)) return 0;
  ReadTextsWithDefaults();
  state.installAfterAdd = ReadNumberOr("InstallAfterAdd", 0) != 0 ? 1 : 0;
  if (state.installAfterAdd == 1 && !ReadAddOnSet(list)) return 0;
  ReadTextOr("UninstTitle", state.uninstTitle, kPathSize, state.gameTitle);
  state.instPathMode = ReadNumberOr("InstPathMode", 0);
  ReadTextOr("GameExe64", state.gameExe64, kPathSize, "");
  return 1;
}
