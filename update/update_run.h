// The update run's work behind the wizard's second Next: section [UPDATE]
// of UPDATE.INI read into update and copy items, and both applied. The
// wizard owns its states around it (free-space stop, busy, completion); the
// run tells its progress through the info-line callback.
#pragma once

#include "core/win_types.h"

// Sets the wizard's info line to `text` (at most kLongTextSize bytes).
using ShowInfoLine = void (*)(win::Hwnd window, const char* text);

// A key of [UPDATE] as a number; 0 when absent.
int32_t ReadUpdateNumber(const char* key);

// Reads the items and writes them: the update items all or nothing, then
// the copies from the disc. True when the run is complete (or had nothing
// to do, after its message); false after the failure's messages.
bool ApplyUpdateSection(win::Hwnd window, ShowInfoLine showInfo);
