#pragma once

#include "core/win_types.h"

// The update run behind the wizard's second page: parses [UPDATE] of
// UPDATE.INI into update and copy items and applies them. Its outcome shows
// in the dialog: the free-space stop, the completion state, or the end of the
// dialog with -1.
void RunUpdate(win::Hwnd window);
