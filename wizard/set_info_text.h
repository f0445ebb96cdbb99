#pragma once

#include "core/win_types.h"

// Formats the arguments by the platform's wvsprintfA rules into a 1024-byte
// buffer (longer output is cut) and sets it as the wizard's info line (1001).
void SetInfoText(win::Hwnd window, const char* format, ...);
