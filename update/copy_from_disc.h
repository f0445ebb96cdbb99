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

// Copies each copy item from its disc into the installation folder with the
// shell, in list order, asking for a disc that is not in any CD-ROM drive,
// and tells each copy on the info line. Returns false when the run must end:
// the user cancelled the disc prompt or the copy (no message), or a copy
// failed (after its message).
bool ApplyCopyItems(win::Hwnd window, const CopyList& copies, ShowInfoLine showInfo);
