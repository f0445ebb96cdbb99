#include "wizard/dialog_controls.h"

#include "core/platform.h"

void EnableControl(win::Hwnd window, int id, bool enable) {
  platform.EnableWindow(platform.GetDlgItem(window, id), enable ? 1 : 0);
}

void UseSystemCursor(unsigned id) {
  platform.SetCursor(platform.LoadCursorA(nullptr, win::IntResource(id)));
}
