// The update run: the free-space test, the parsing of section [UPDATE], the
// update and copy items, and the wizard's states around them.
#include "wizard/update_run.h"

#include "core/free_space.h"
#include "core/platform.h"
#include "core/show_error.h"
#include "core/text_format.h"
#include "core/updater_state.h"
#include "settings/settings_reader.h"
#include "texts.h"
#include "update/apply_update_items.h"
#include "update/copy_from_disc.h"
#include "wizard/dialog_controls.h"
#include "update/item_paths.h"
#include "wizard/set_info_text.h"
#include "update/update_items.h"
#include "wizard/wizard_controls.h"

namespace {


// A key of [UPDATE] as a number; 0 when absent.
int32_t ReadNumber(const char* key) {
  char value[kPathSize];
  return ReadUpdateKey(kUpdateSection, key, value, sizeof value) ? ParseDecimal(value) : 0;
}

// The free-space test: true when the run stopped for want of space (with
// Back enabled, so that it can start again). A drive whose free space
// cannot be asked passes; each written file is checked again on its own.
bool StoppedForFreeSpace(win::Hwnd window) {
  const uint32_t required = uint32_t(ReadNumber("RequiredDiskSpace"));
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

// Parses and applies everything; false when the run failed (reported).
bool ParseAndApply(win::Hwnd window) {
  const bool overwriteOnly = ReadNumber("OverwriteOnly") != 0;
  bool anyUpdateLine = false;
  bool anyCopyLine = false;
  if (!ReadUpdateItems(&anyUpdateLine) || !ReadCopyItems(&anyCopyLine)) return false;
  if (!anyUpdateLine && !anyCopyLine) {
    ShowError(kMsgNoUpdateLines);
    return false;
  }
  const UpdaterState& s = updaterState;
  if (s.updateItemCount == 0 && s.copyItemCount == 0) {
    ShowError(kMsgNothingToUpdate);
    return true;
  }
  return CheckItemPaths() && ApplyUpdateItems(overwriteOnly) && ApplyCopyItems(window);
}

}  // namespace

void RunUpdate(win::Hwnd window) {
  if (StoppedForFreeSpace(window)) return;
  EnterBusyState(window);
  if (!ParseAndApply(window)) {
    platform.EndDialog(window, -1);
    return;
  }
  EnterCompletion(window);
}
