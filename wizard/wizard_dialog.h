#pragma once

#include "core/win_types.h"

// The wizard's dialog procedure (templates 100 and 101).
win::IntPtr WINAPI_CC WizardDialogProc(win::Hwnd window, win::Uint message, win::WParam first,
                                       win::LParam second);
