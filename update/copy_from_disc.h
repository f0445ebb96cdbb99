// The copies from the game's CD-ROM: finding each item's disc (asking the
// player to put it in, in the order of the list), and the shell's copy.
// Every copy is staged with the update items (stage_update_items.h): a file
// beside its destination, a folder into the run's copy folder
// (copied_folders.h); nothing of the installation changes before the run
// commits.
#pragma once

#include "core/updater_state.h"
#include "core/win_types.h"
#include "update/update_run.h"

// The copy items: for each, its disc (0: the drive of the item before) and
// its name on the disc.
struct CopyList {
  const int32_t* discs;
  const char (*names)[kPathSize];
  int count;
};

// `path` as a list of one path for the shell (ended by two NULs) in `list`
// of kPathSize + 1 bytes.
void OnePathList(const char* path, char* list);

// The shell's copy of the list `from` into `to` (both ended by two NULs),
// owned by `window`, without confirmations; `quiet` also without the
// shell's error messages. Returns the shell's result (0: copied); `aborted`
// tells whether the player or an error aborted any of it.
int ShellCopy(win::Hwnd window, const char* from, const char* to, bool quiet, bool* aborted);

// Walks the copy items in order, finding the disc of each.
class CopyWalk {
 public:
  CopyWalk(win::Hwnd window, const CopyList& copies, ShowInfoLine showInfo);

  // Finds item `index`'s source, asking for its disc (the disc of the
  // latest item that names one) until it is in a CD-ROM drive. False when
  // the player cancelled. `source` (kPathSize bytes, ended by two NULs);
  // `isFolder`: the source is a folder, or cannot be read (the shell then
  // reports it).
  bool FindSource(int index, char* source, bool* isFolder);

  // The shell's copy of item `index` from `source` to `destination` (two
  // NULs): a file to that path, a folder into that folder. The info line
  // tells it first. False when the player aborted the copy (no message) or
  // it failed (after "<name> のコピーに失敗しました"); a read-only copy is
  // made writable.
  bool Copy(int index, const char* source, const char* destination, bool isFolder);

  // Shows the message of a copy that cannot be made.
  void ShowCopyFailed(int index) const;

  const CopyList& copies() const { return copies_; }

 private:
  win::Hwnd window_;
  CopyList copies_;
  ShowInfoLine showInfo_;
  char drive_[3] = "";
  int driveDisc_ = 0;
};
