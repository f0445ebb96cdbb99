// Installation discovery and launch: [SETUP] of UPDATE.INI, the agreement
// texts, the installation's registry key, the notice, the installation's
// SETUP.INI, the caption, the refusals (a second updater, a running game) and
// the wizard.
#include "entry/launch.h"

#include <cstring>

#include "archive/archive_directory.h"
#include "core/file_helpers.h"
#include "core/join_path.h"
#include "core/platform.h"
#include "core/show_error.h"
#include "core/system_functions.h"
#include "core/text_format.h"
#include "core/updater_state.h"
#include "settings/install_description.h"
#include "settings/settings_reader.h"
#include "texts.h"
#include "update/recover_update.h"
#include "wizard/wizard_controls.h"
#include "wizard/wizard_dialog.h"

namespace {

const char kSection[] = "SETUP";
const char kSetupIniName[] = "SETUP.INI";

bool ReadKey(const char* key, char* buffer, int size) {
  return ReadUpdateKey(kSection, key, buffer, size) != 0;
}

bool ReadRequiredKeys() {
  UpdaterState& s = updaterState;
  return ReadKey("CompanyName", s.companyName, kPathSize) &&
         ReadKey("GameTitle", s.gameTitle, kPathSize) &&
         ReadKey("GameClass", s.gameClass, kPathSize) && ReadKey("GameDir", s.gameDir, kPathSize);
}

// Optional keys leave their field empty when missing; the mode text goes to
// `modeText`.
void ReadOptionalKeys(char* modeText) {
  UpdaterState& s = updaterState;
  s.quietKeys = 1;
  ReadKey("GameTitleA", s.gameTitleA, kPathSize);
  ReadKey("UpdaterVersion", s.updaterVersion, kPathSize);
  ReadKey("UpdaterTitle", s.updaterTitle, kPathSize);
  ReadKey("DataFolder", s.dataFolder, kPathSize);
  ReadKey("UpdateMessage", s.updateMessage, kLongTextSize);
  ReadKey("ExistErrorMessage", s.existErrorMessage, kLongTextSize);
  if (!ReadKey("ModeTextUpdateOrInstall", modeText, kPathSize)) modeText[0] = '\0';
}

void SetMode(const char* modeText) {
  UpdaterState& s = updaterState;
  s.modeIsInstall = ParseDecimal(modeText) != 0 ? 1 : 0;
  CopyText(s.modeWord, kLongTextSize, s.modeIsInstall ? kModeWordInstall : kModeWordUpdate);
}

// A zero-filled copy of the archive entry `name`, two bytes longer than the
// entry so that it ends as a text. Kept until the process ends.
bool LoadAgreementEntry(const char* name, char** copy) {
  uint32_t size = 0;
  bool owned = false;
  uint8_t* content = ReadEntry(name, &size, &owned);
  if (content == nullptr) {
    ShowErrorFormatted(kMsgEntryNotFoundAtArchive, name);
    return false;
  }
  auto* block = static_cast<char*>(
      platform.GlobalAlloc(win::kGmemFixed | win::kGmemZeroinit, size_t(size) + 2));
  if (block != nullptr) std::memcpy(block, content, size);
  if (owned) platform.GlobalFree(content);
  if (block == nullptr) {
    ShowError(kMsgCantAllocate);
    return false;
  }
  *copy = block;
  return true;
}

bool LoadAgreementTexts() {
  char name[kPathSize];
  if (ReadKey("AgreementText", name, kPathSize) &&
      !LoadAgreementEntry(name, &updaterState.agreementText)) {
    return false;
  }
  if (ReadKey("AgreementTitle", name, kPathSize) &&
      !LoadAgreementEntry(name, &updaterState.agreementTitle)) {
    return false;
  }
  return true;
}

// Queries a text value into `buffer` of kPathSize bytes. A value that fills
// the buffer without its terminating NUL counts as too large.
bool QueryText(win::Hkey key, const char* name, char* buffer) {
  win::Dword size = kPathSize;
  if (systemFunctions.RegQueryValueExA(key, name, nullptr, nullptr,
                                       reinterpret_cast<uint8_t*>(buffer),
                                       &size) != win::kErrorSuccess) {
    return false;
  }
  if (size < kPathSize) {
    buffer[size] = '\0';
    return true;
  }
  return std::memchr(buffer, '\0', kPathSize) != nullptr;
}

// An installation folder that SETUP.INI cannot be joined to within a path
// buffer counts as no installation.
bool SetupIniFits(const char* instPath) {
  char probe[kPathSize];
  CopyText(probe, sizeof probe, instPath);
  return JoinPath(probe, sizeof probe, kSetupIniName);
}

// Reads InstPath, DataPath and InstMode of the installation key.
bool ReadInstallationKey() {
  UpdaterState& s = updaterState;
  char subKey[kLongTextSize];
  FormatText(subKey, sizeof subKey, "Software\\%s\\%s", s.companyName, s.gameDir);
  win::Hkey key = nullptr;
  if (systemFunctions.RegOpenKeyExA(win::CurrentUserKey(), subKey, 0, win::kKeyRead, &key) !=
      win::kErrorSuccess) {
    return false;
  }
  bool found = false;
  if (QueryText(key, "InstPath", s.instPath)) {
    if (!QueryText(key, "DataPath", s.dataPath)) s.dataPath[0] = '\0';
    win::Dword size = sizeof s.instMode;
    found = systemFunctions.RegQueryValueExA(key, "InstMode", nullptr, nullptr,
                                             reinterpret_cast<uint8_t*>(&s.instMode),
                                             &size) == win::kErrorSuccess;
  }
  systemFunctions.RegCloseKey(key);
  return found && SetupIniFits(s.instPath);
}

void ShowNotice() {
  if (updaterState.updateMessage[0] == '\0') return;
  char notice[kLongTextSize];
  ConvertMessageEscapes(updaterState.updateMessage, notice);
  ShowError(notice);
}

bool ReadInstallation() {
  UpdaterState& s = updaterState;
  CopyText(s.setupIniPath, kPathSize, s.instPath);
  JoinPath(s.setupIniPath, kPathSize, kSetupIniName);  // fits: checked with the key
  if (AttributesOf(s.setupIniPath) == win::kInvalidFileAttributes) {
    ShowError(kMsgSetupIniMissing);
    return false;
  }
  return ReadInstallDescription() != 0;
}

void ComposeCaption() {
  UpdaterState& s = updaterState;
  if (s.updaterTitle[0] != '\0') {
    FormatText(s.caption, sizeof s.caption, "%s", s.updaterTitle);
  } else {
    FormatText(s.caption, sizeof s.caption, kCaptionFormat, s.gameTitle, s.updaterVersion);
  }
}

void BringForward(win::Hwnd window) {
  platform.ShowWindow(window, win::kSwShow);
  platform.SetForegroundWindow(window);
}

// True when another updater with this caption is open; it is brought forward.
bool AnotherUpdaterIsOpen() {
  win::Hwnd other =
      platform.FindWindowA(win::IntResource(win::kDialogClassAtom), updaterState.caption);
  if (other == nullptr) return false;
  BringForward(other);
  return true;
}

// Asks the user to end the game for as long as its window is there. False
// when the user gave up (the game is brought forward).
bool WaitForGameToEnd(const char* title) {
  for (;;) {
    win::Hwnd game = platform.FindWindowA(updaterState.gameClass, title);
    if (game == nullptr) return true;
    char prompt[kLongTextSize];
    FormatText(prompt, sizeof prompt, kMsgGameRunning, title);
    if (platform.MessageBoxA(nullptr, prompt, updaterState.caption, win::kMbOkCancel) !=
        win::kIdOk) {
      BringForward(game);
      return false;
    }
  }
}

bool RunWizard() {
  const int templateId =
      updaterState.agreementText != nullptr ? kTemplateWizardWithAgreement : kTemplateWizard;
  win::IntPtr result =
      platform.DialogBoxParamA(updaterState.instanceHandle, win::IntResource(unsigned(templateId)),
                               nullptr, WizardDialogProc, 0);
  updaterState.ownerWindow = nullptr;
  if (result == 0) return true;
  ShowError(kMsgUpdateInterrupted);
  return false;
}

}  // namespace

int DiscoverAndLaunch() {
  UpdaterState& s = updaterState;
  if (!ReadRequiredKeys()) return 0;

  char modeText[kPathSize];
  ReadOptionalKeys(modeText);
  SetMode(modeText);
  if (!LoadAgreementTexts()) return 0;

  if (!ReadInstallationKey()) {
    ShowErrorFormatted(kMsgNotInstalled, s.gameTitle);
    return 0;
  }
  // Here, before SETUP.INI is read (a killed run may have had it moved
  // away); what the running game holds now is tried again before the
  // update run makes its journal.
  RecoverInterruptedUpdate();
  ShowNotice();
  if (!ReadInstallation()) return 0;

  ComposeCaption();
  if (AnotherUpdaterIsOpen()) return 0;
  if (!WaitForGameToEnd(s.gameTitle)) return 0;
  if (s.gameTitleA[0] != '\0' && !WaitForGameToEnd(s.gameTitleA)) return 0;

  return RunWizard() ? 1 : 0;
}

void ConvertMessageEscapes(const char* source, char* destination) {
  const char* p = source;
  char* out = destination;
  while (*p != '\0') {
    const char* next = platform.CharNextA(p);
    if (next - p == 1 && p[0] == '\\' && p[1] == 'n') {
      *out++ = '\r';
      next = p + 2;
    } else {
      while (p < next) *out++ = *p++;
    }
    p = next;
  }
  *out = '\0';
}
