// The process-wide record of one run. Every field is zero or empty at start.
#pragma once

#include <cstdint>

#include "core/win_types.h"

struct ArchiveDirectory;
struct ArchiveEntry;

constexpr int kPathSize = 260;     // paths, names and single values
constexpr int kLongTextSize = 1024;  // lists, long messages and composed texts
constexpr int kNumberTextSize = 20;  // 64-bit numbers as text

constexpr int kMaxInstallSelections = 4;
constexpr int kMaxSelectionFiles = 40;
constexpr int kMaxSetupBitmaps = 20;
constexpr int kMaxShortcuts = 10;
constexpr int kShortcutFields = 4;
constexpr int kDiskCheckFileCount = 10;
constexpr int kMaxUpdateLines = 16;
constexpr int kMaxCopyLines = 16;

struct InstallSelection {
  char title[kPathSize];
  char files[kMaxSelectionFiles][kPathSize];
  int32_t discs[kMaxSelectionFiles];
  int32_t usesDiscs;
  uint64_t installSize;
};

struct ShortcutEntry {
  char fields[kShortcutFields][kPathSize];
};

struct UpdateItem {
  int32_t modeCode;  // 0 plain, 1 "u", 2 "d", 3 "o"
  char path[kPathSize];
  int32_t nameOffset;
};

struct UpdaterState {
  // Run frame
  win::Hmodule instanceHandle;
  win::Hwnd ownerWindow;
  char caption[kLongTextSize];
  ArchiveDirectory* archiveDirectory;
  ArchiveEntry* archiveEntries;
  char updateIniPath[kPathSize];
  // The bytes of UPDATE.INI as the archive holds them (a block freed by
  // Shutdown): its keys are read from here, never from the file in the temp
  // folder, which any program of the player can rewrite or delete.
  char* updateIniText;
  uint32_t updateIniSize;

  // The locked archive resource
  const uint8_t* archiveImage;
  uint32_t archiveImageSize;

  // [SETUP] of UPDATE.INI, the registry and the launch
  char companyName[kPathSize];
  char gameTitle[kPathSize];
  char gameClass[kPathSize];
  char gameDir[kPathSize];
  char gameTitleA[kPathSize];
  char updaterVersion[kPathSize];
  char updaterTitle[kPathSize];
  char dataFolder[kPathSize];
  char updateMessage[kLongTextSize];
  char existErrorMessage[kLongTextSize];
  int32_t modeIsInstall;
  char modeWord[kLongTextSize];
  char* agreementText;
  char* agreementTitle;
  char instPath[kPathSize];
  char dataPath[kPathSize];
  int32_t instMode;
  char setupIniPath[kPathSize];

  // Settings reader
  int32_t quietKeys;
  int32_t currentDisc;

  // Install description (SETUP.INI)
  char gameExe[kPathSize];
  char uninstExe[kPathSize];
  char setupBitmaps[kMaxSetupBitmaps][kPathSize];
  int32_t installSelectCount;
  InstallSelection installSelections[kMaxInstallSelections];
  int32_t shortcutCount;
  ShortcutEntry shortcuts[kMaxShortcuts];
  int32_t defaultSelect;
  char diskCheckFiles[kDiskCheckFileCount][kPathSize];
  char execApp[2][kPathSize];
  char selectSetupMessage[kLongTextSize];
  char saveDataFolderNameInInstall[kPathSize];
  char saveDataFolderName[kPathSize];
  char strKeyInstPath[kPathSize];
  char shortcutFolder[kPathSize];
  int32_t installAfterAdd;
  char uninstTitle[kPathSize];
  int32_t instPathMode;
  char gameExe64[kPathSize];

  // Wizard
  int32_t wizardPage;
  int32_t wizardBusy;

  // Update run
  UpdateItem updateItems[kMaxUpdateLines];
  int32_t updateItemCount;
  int32_t copyDiscs[kMaxCopyLines];
  char copyNames[kMaxCopyLines][kPathSize];
  int32_t copyItemCount;
};

extern UpdaterState updaterState;

// Puts every field back to its start value (zero or empty; caption "UPDATE").
void ResetUpdaterState();
