#pragma once

#include "core/win_types.h"

// Copies each copy item from its disc into the installation folder with the
// shell, in list order, asking for a disc that is not in any CD-ROM drive.
// Returns false when the run must end: the user cancelled the disc prompt
// or the copy (no message), or a copy failed (after its message).
bool ApplyCopyItems(win::Hwnd window);
