// The copies from the game's CD-ROM: finding each item's disc (asking the
// player to put it in), and the shell's copy. The files before the first
// folder item are staged like update items (stage_update_items.h) and
// replaced with them, all or nothing; from the first folder item on, the
// items are copied after the replace, in order, so that the discs are
// still asked for in the order of the list.
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
  // The first item copied after the replace (the first folder item; the
  // count when there is none).
  int firstAfterReplace() const { return firstAfterReplace_; }
  void setFirstAfterReplace(int index) { firstAfterReplace_ = index; }

 private:
  win::Hwnd window_;
  CopyList copies_;
  ShowInfoLine showInfo_;
  char drive_[3] = "";
  int driveDisc_ = 0;
  int firstAfterReplace_ = 0;
};

// After the replace: copies the items from `walk.firstAfterReplace()` on
// from their discs into the installation folder, in list order. False
// when the run must end (the player cancelled, or a copy failed after its
// message).
bool ApplyCopiesAfterReplace(CopyWalk& walk);
