#include "update/copy_from_disc.h"

#include <cstring>

#include "core/file_helpers.h"
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
    if (AttributesOf(check) != win::kInvalidFileAttributes) {
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

}  // namespace

void OnePathList(const char* path, char* list) {
  CopyText(list, kPathSize, path);
  list[std::strlen(list) + 1] = '\0';
}

int ShellCopy(win::Hwnd window, const char* from, const char* to, bool quiet, bool* aborted) {
  win::ShFileOp operation{};
  operation.hwnd = window;
  operation.wFunc = win::kFoCopy;
  operation.pFrom = from;
  operation.pTo = to;
  operation.fFlags = win::kFofNoConfirmation | win::kFofNoConfirmMkdir;
  if (quiet) operation.fFlags |= win::kFofNoErrorUi;
  const int result = systemFunctions.SHFileOperationA(&operation);
  *aborted = operation.fAnyOperationsAborted != 0;
  return result;
}

CopyWalk::CopyWalk(win::Hwnd window, const CopyList& copies, ShowInfoLine showInfo)
    : window_(window), copies_(copies), showInfo_(showInfo) {}

bool CopyWalk::FindSource(int index, char* source, bool* isFolder) {
  // The disc of the latest item with a number; the first item has one
  // (ReadCopyItems sees to that). It is asked for when it is another one
  // than the drive holds, and always where the item names it.
  int disc = 0;
  for (int i = index; i >= 0 && disc == 0; --i) disc = copies_.discs[i];
  if ((copies_.discs[index] != 0 || disc != driveDisc_) && !AskForDisc(window_, disc, drive_)) {
    return false;
  }
  driveDisc_ = disc;
  // The paths fit: CheckItemPaths has built them all before.
  CopySource(drive_, copies_.names[index], source);
  // Attributes that cannot be read have every bit: a missing source is
  // handled as a folder.
  *isFolder = (AttributesOf(source) & win::kAttributeDirectory) != 0;
  return true;
}

void CopyWalk::ShowCopyFailed(int index) const {
  char message[kLongTextSize];
  FormatText(message, sizeof message, kMsgCopyFailed, copies_.names[index]);
  platform.MessageBoxA(window_, message, updaterState.caption, win::kMbIconError);
}

bool CopyWalk::Copy(int index, const char* source, const char* destination, bool isFolder) {
  const char* name = copies_.names[index];
  char info[kLongTextSize];
  FormatText(info, sizeof info, kInfoCopying, name);
  showInfo_(window_, info);

  bool aborted = false;
  const int result = ShellCopy(window_, source, destination, isFolder, &aborted);
  if (aborted) return false;
  if (result != 0 || !MakeWritable(destination)) {
    ShowCopyFailed(index);
    return false;
  }
  return true;
}
