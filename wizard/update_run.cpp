// The update run on the wizard's confirmation page: the free-space test and
// the wizard's states around the run itself (update/update_run.h).
#include "wizard/update_run.h"

#include "core/free_space.h"
#include "core/platform.h"
#include "core/updater_state.h"
#include "texts.h"
#include "update/update_run.h"
#include "wizard/dialog_controls.h"
#include "wizard/set_info_text.h"
#include "wizard/wizard_controls.h"

namespace {

// The free-space test: true when the run stopped for want of space (with
// Back enabled, so that it can start again). A drive whose free space
// cannot be asked passes; each written file is checked again on its own.
bool StoppedForFreeSpace(win::Hwnd window) {
  const uint32_t required = uint32_t(ReadUpdateNumber("RequiredDiskSpace"));
  if (required == 0) return false;
  char drive[3];
  uint32_t missing = 0;
  if (!DriveLacksSpace(updaterState.instPath, required, drive, &missing)) return false;
  SetInfoText(window, kInfoDiskSpace, drive, unsigned(missing));
  EnableControl(window, kIdBack, true);
  EnableControl(window, kIdNext, false);
  EnableControl(window, kIdCancel, true);
  return true;
}

void EnterBusyState(win::Hwnd window) {
  SetInfoText(window, kInfoRunning, updaterState.modeWord);
  EnableControl(window, kIdBack, false);
  EnableControl(window, kIdNext, false);
  EnableControl(window, kIdCancel, false);
  UseSystemCursor(win::kIdcWait);
}

void EnterCompletion(win::Hwnd window) {
  SetInfoText(window, kInfoComplete, updaterState.modeWord);
  platform.SetDlgItemTextA(window, kIdNext, kButtonFinish);
  EnableControl(window, kIdNext, true);
  platform.SetFocus(platform.GetDlgItem(window, kIdNext));
  UseSystemCursor(win::kIdcArrow);
}

// The run's info line: the wizard's static control 1001.
void ShowOnInfoLine(win::Hwnd window, const char* text) {
  platform.SetDlgItemTextA(window, kIdInfo, text);
}

}  // namespace

void RunUpdate(win::Hwnd window) {
  if (StoppedForFreeSpace(window)) return;
  EnterBusyState(window);
  if (!ApplyUpdateSection(window, ShowOnInfoLine)) {
    platform.EndDialog(window, -1);
    return;
  }
  EnterCompletion(window);
}
