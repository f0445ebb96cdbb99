// The process-wide record of one run. Every field is zero or empty at start.
#pragma once

#include <cstdint>

#include "core/win_types.h"

struct ArchiveDirectory;
struct ArchiveEntry;

constexpr int kPathSize = 260;       // paths, names and single values
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

// One install selection of SETUP.INI (InstallTitle%i, InstallFiles%i,
// InstallSize%i); the updater reads it but installs nothing from it.
struct InstallSelection {
  char title[kPathSize];
  char files[kMaxSelectionFiles][kPathSize];
  int32_t discs[kMaxSelectionFiles];  // each file's disc, from its "n:" prefix (0: none)
  int32_t usesDiscs;                  // 1 when any file names a disc
  uint64_t installSize;
};

// One Shortcut%i of SETUP.INI: two required and two optional list fields.
struct ShortcutEntry {
  char fields[kShortcutFields][kPathSize];
};

// One update line of [UPDATE] that applies to this installation.
struct UpdateItem {
  int32_t modeCode;      // 0 plain, 1 "u", 2 "d", 3 "o" (update_lines.h)
  char path[kPathSize];  // relative to the item's folder (item_paths.h)
  int32_t nameOffset;    // where the last component, the archive entry's name, starts in `path`
};

struct UpdaterState {
  // Run frame
  win::Hmodule instanceHandle;  // the updater's module: its resources and dialog templates
  // The wizard while it is open, which owns the message boxes; else none.
  win::Hwnd ownerWindow;
  // Of the message boxes and the wizard: "UPDATE", then ComposeCaption's.
  char caption[kLongTextSize];
  ArchiveDirectory* archiveDirectory;  // the opened archive (archive_directory.h)
  ArchiveEntry* archiveEntries;        // its entries, in directory order
  // "<temp folder>\UPDATE.INI", where the archive's UPDATE.INI is extracted
  // (and deleted by Shutdown); never read back.
  char updateIniPath[kPathSize];
  // The bytes of UPDATE.INI as the archive holds them (a block freed by
  // Shutdown): its keys are read from here, never from the file in the temp
  // folder, which any program of the player can rewrite or delete.
  char* updateIniText;
  uint32_t updateIniSize;

  // The locked archive resource
  const uint8_t* archiveImage;
  uint32_t archiveImageSize;

  // [SETUP] of UPDATE.INI (each field from the key of its name), the
  // registry and the launch. CompanyName, GameTitle, GameDir and GameClass
  // are read again from the installation's SETUP.INI, which replaces them.
  char companyName[kPathSize];
  char gameTitle[kPathSize];  // the game's window title, and its name in messages
  char gameClass[kPathSize];  // the window class of the game's window, to find it running
  char gameDir[kPathSize];    // the last part of the registry key Software\<CompanyName>\<GameDir>
  // A second title the game's window may have (GameTitleA, optional): the
  // launch waits for a window of that title too.
  char gameTitleA[kPathSize];
  char updaterVersion[kPathSize];  // for the caption without UpdaterTitle
  char updaterTitle[kPathSize];    // the caption, when set
  // The folder of every update item, below instPath (dataPath for "d"
  // items); empty: that folder itself.
  char dataFolder[kPathSize];
  char updateMessage[kLongTextSize];      // the notice shown before the wizard ("\n": line break)
  char existErrorMessage[kLongTextSize];  // shown when an "e" line's file is missing
  int32_t modeIsInstall;                  // 1 when ModeTextUpdateOrInstall is a non-zero number
  char modeWord[kLongTextSize];  // "install" or "update" in the wizard's texts, by modeIsInstall
  char* agreementText;           // the AgreementText entry's text (a block), or none
  char* agreementTitle;          // the AgreementTitle entry's text (a block), or none
  // The installation key's values: InstPath (the install folder), DataPath
  // (the folder of "d" items; may be empty) and InstMode (the install mode,
  // which chooses the lines that apply by their install-mode field).
  char instPath[kPathSize];
  char dataPath[kPathSize];
  int32_t instMode;
  char setupIniPath[kPathSize];  // "<instPath>\SETUP.INI"

  // Settings reader
  // Nonzero: a missing key is not reported. Set by the launch and the
  // install description around the keys that may be absent.
  int32_t quietKeys;
  // The disc of the latest "n:" prefix NextListToken met; the tokens after
  // it take it.
  int32_t currentDisc;

  // Install description (SETUP.INI, each field from the key of its name,
  // with the defaults of install_description.cpp). The update uses only
  // diskCheckFiles; the rest is read so that SETUP.INI is refused where the
  // installer would refuse it.
  char gameExe[kPathSize];
  char uninstExe[kPathSize];
  char setupBitmaps[kMaxSetupBitmaps][kPathSize];  // SetupBmp's list
  int32_t installSelectCount;                      // InstallSelects
  InstallSelection installSelections[kMaxInstallSelections];
  int32_t shortcutCount;  // Shortcuts
  ShortcutEntry shortcuts[kMaxShortcuts];
  int32_t defaultSelect;
  // DiskCheckFile0-9: per disc number, a file whose presence on a CD-ROM
  // drive tells that the disc is in it (empty: any readable disc).
  char diskCheckFiles[kDiskCheckFileCount][kPathSize];
  // The two tokens of ExecApp (the first empty when the key is absent); only
  // their form is checked, the updater runs nothing.
  char execApp[2][kPathSize];
  char selectSetupMessage[kLongTextSize];
  char saveDataFolderNameInInstall[kPathSize];
  char saveDataFolderName[kPathSize];
  char strKeyInstPath[kPathSize];  // a registry value's name for the install folder ("InstPath")
  char shortcutFolder[kPathSize];
  // 1: the add-on set (InstallAddFiles, InstallAddSize) replaces the files
  // and size of the last selection.
  int32_t installAfterAdd;
  char uninstTitle[kPathSize];
  int32_t instPathMode;
  char gameExe64[kPathSize];

  // Wizard
  int32_t wizardPage;  // the page shown: 0 welcome, 1 confirmation, 2 after the run
  int32_t wizardBusy;  // nonzero while a Next or Back is handled: the buttons do nothing

  // Update run: the lines of [UPDATE] that apply, read afresh each run
  UpdateItem updateItems[kMaxUpdateLines];
  int32_t updateItemCount;
  int32_t copyDiscs[kMaxCopyLines];  // each copy line's disc (0: the drive of the line before)
  char copyNames[kMaxCopyLines][kPathSize];  // each copy line's name on the disc
  int32_t copyItemCount;
};

extern UpdaterState updaterState;

// Puts every field back to its start value (zero or empty; caption "UPDATE").
void ResetUpdaterState();
