// Small steps on the wizard's dialog shared by its pages and the update run.
#pragma once

#include "core/win_types.h"

// Enables or disables the control `id` of the dialog.
void EnableControl(win::Hwnd window, int id, bool enable);

// Shows the system's cursor `id` (win::kIdcArrow, win::kIdcWait).
void UseSystemCursor(unsigned id);
