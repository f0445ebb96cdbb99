#include "update/copy_from_disc.h"

#include "core/join_path.h"
#include "core/platform.h"
#include "core/system_functions.h"
#include "core/text_format.h"
#include "core/updater_state.h"
#include "texts.h"
#include "update/contained_path.h"
#include "update/item_paths.h"

namespace {

// The first CD-ROM drive, A: to Z:, on which the disc's check file can be
// read; an empty check file name lets any readable CD-ROM root qualify.
bool FindDisc(int disc, char* drive) {
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    char name[3] = {letter, ':', '\0'};
    if (platform.GetDriveTypeA(name) != win::kDriveCdrom) continue;
    char check[kPathSize];
    DiscCheckPath(name, disc, check);
    if (systemFunctions.GetFileAttributesA(check) != win::kInvalidFileAttributes) {
      CopyText(drive, 3, name);
      return true;
    }
  }
  return false;
}

// Searches until the disc is found (true) or the user cancels (false).
bool AskForDisc(win::Hwnd window, int disc, char* drive) {
  const UpdaterState& s = updaterState;
  while (!FindDisc(disc, drive)) {
    char prompt[kLongTextSize];
    FormatText(prompt, sizeof prompt, kMsgInsertDisc, s.gameTitle, disc);
    if (platform.MessageBoxA(window, prompt, s.caption, win::kMbOkCancel) != win::kIdOk) {
      return false;
    }
  }
  return true;
}

// The copy lands in the installation, reached without a link: the file's
// destination, or for a folder the folder of its name's last part there.
bool LandsInGameFolders(const char* name, bool isFolder, const char* destination) {
  if (!isFolder) return IsInGameFolders(destination);
  const char* last = name + FileNameOffset(name);
  if (*last == '\0') return true;  // "folder\": the shell names what it makes
  char landing[kPathSize];
  return CopyFileDestination(last, landing) && IsInGameFolders(landing);
}

void ShowCopyFailed(win::Hwnd window, const char* name) {
  char message[kLongTextSize];
  FormatText(message, sizeof message, kMsgCopyFailed, name);
  platform.MessageBoxA(window, message, updaterState.caption, win::kMbIconError);
}

bool CopyItem(win::Hwnd window, const char* drive, const char* name, ShowInfoLine showInfo) {
  // The paths fit: CheckItemPaths has built them all before.
  char source[kPathSize];
  char destination[kPathSize];
  CopySource(drive, name, source);
  CopyFolderDestination(destination);
  // Attributes that cannot be read have every bit: a missing source is
  // handled as a folder.
  bool isFolder = true;
  if (!(systemFunctions.GetFileAttributesA(source) & win::kAttributeDirectory)) {
    CopyFileDestination(name, destination);
    isFolder = false;
  }
  if (!LandsInGameFolders(name, isFolder, destination)) {
    ShowCopyFailed(window, name);
    return false;
  }
  char info[kLongTextSize];
  FormatText(info, sizeof info, kInfoCopying, name);
  showInfo(window, info);

  win::ShFileOp operation{};
  operation.hwnd = window;
  operation.wFunc = win::kFoCopy;
  operation.pFrom = source;
  operation.pTo = destination;
  operation.fFlags = win::kFofNoConfirmation | win::kFofNoConfirmMkdir;
  if (isFolder) operation.fFlags |= win::kFofNoErrorUi;
  int result = systemFunctions.SHFileOperationA(&operation);
  if (operation.fAnyOperationsAborted) return false;
  if (result != 0) {
    ShowCopyFailed(window, name);
    return false;
  }
  systemFunctions.SetFileAttributesA(destination, win::kAttributeNormal);
  return true;
}

}  // namespace

bool ApplyCopyItems(win::Hwnd window, const CopyList& copies, ShowInfoLine showInfo) {
  // The drive of the latest item with a disc number; the first item has one
  // (ReadCopyItems sees to that).
  char drive[3] = "";
  for (int i = 0; i < copies.count; ++i) {
    const int disc = copies.discs[i];
    if (disc != 0 && !AskForDisc(window, disc, drive)) return false;
    if (!CopyItem(window, drive, copies.names[i], showInfo)) return false;
  }
  return true;
}
