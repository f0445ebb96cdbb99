// Window searches of the POSIX desktop: PosixFindWindowA and
// PosixSetForegroundWindow (declared in posix_functions.h) over the stand-in
// desktop's top-level windows (desktop_standin.h).
//
// Windows of other programs come from a window list, the file named by
// UPDATER_WINDOWS: one window a line, "class<TAB>title" in UTF-8, with an
// optional third field, the id of the process that owns the window; lines
// without a tab are ignored. The class of dialogs is "#32770". The list is read at every search;
// its windows become stand-in windows for as long as they are listed, and a window whose owning
// process has ended is ignored. Dialogs that the terminal wizard shows are
// written to the list while they are open, so that an updater started in
// another terminal finds them.
#pragma once

#include "core/win_types.h"
#include "platform/posix/posix_functions.h"

// The window last brought to the foreground, or null when there is none or
// it is gone.
win::Hwnd StandinForegroundWindow();

// Adds a dialog of this process to the window list while it is open, and
// takes it off again. Nothing happens without UPDATER_WINDOWS.
void PublishStandinWindow(win::Hwnd window);
void WithdrawStandinWindow(win::Hwnd window);
