// The wizard's dialog procedure: the welcome page (with the agreement and
// its agree/disagree choice when the update carries one), the confirmation
// page, the update run on the second Next and the end of the dialog on the
// third. The busy counter drops Next, Back and Cancel presses that arrive
// through the nested message loops of the run, and keeps the wait cursor.
#include "wizard/wizard_dialog.h"

#include "core/platform.h"
#include "core/updater_state.h"
#include "texts.h"
#include "wizard/dialog_controls.h"
#include "wizard/set_info_text.h"
#include "wizard/update_run.h"
#include "wizard/wizard_controls.h"

namespace {

const int kAgreementControls[] = {kIdAgreementText, kIdAgree, kIdDisagree};

// Template 100 has none of these controls: the calls then do nothing.
void ShowAgreementControls(win::Hwnd window, bool show) {
  for (int id : kAgreementControls) {
    platform.ShowWindow(platform.GetDlgItem(window, id), show ? win::kSwShow : win::kSwHide);
  }
}

void ShowWelcomePage(win::Hwnd window) {
  const UpdaterState& s = updaterState;
  if (s.agreementTitle != nullptr) {
    SetInfoText(window, "%s", s.agreementTitle);
  } else {
    SetInfoText(window, kInfoWelcome, s.modeIsInstall == 1 ? s.updaterTitle : s.gameTitle,
                s.modeWord);
  }
  EnableControl(window, kIdBack, false);
  EnableControl(window, kIdCancel, true);
  if (s.agreementText != nullptr) {
    EnableControl(window, kIdNext, false);
    platform.SetDlgItemTextA(window, kIdAgreementText, s.agreementText);
    for (int id : kAgreementControls) EnableControl(window, id, true);
    platform.CheckRadioButton(window, kIdAgree, kIdDisagree, kIdDisagree);
    ShowAgreementControls(window, true);
  } else {
    EnableControl(window, kIdNext, true);
    ShowAgreementControls(window, false);
  }
}

void ShowConfirmationPage(win::Hwnd window) {
  SetInfoText(window, kInfoConfirm, updaterState.modeWord);
  EnableControl(window, kIdBack, false);
  EnableControl(window, kIdNext, true);
  EnableControl(window, kIdCancel, true);
  ShowAgreementControls(window, false);
}

void Initialise(win::Hwnd window) {
  updaterState.ownerWindow = window;
  updaterState.wizardBusy = 0;
  updaterState.wizardPage = 0;
  platform.SetWindowTextA(window, updaterState.caption);
  ShowWelcomePage(window);
}

// Next steps one page forward; Back steps two back before that step, so
// that it lands on the page before the current one.
void Step(win::Hwnd window, bool back) {
  UpdaterState& s = updaterState;
  s.wizardBusy = 1;
  SetInfoText(window, "");
  if (back) s.wizardPage -= 2;
  switch (s.wizardPage) {
    case 0: ShowConfirmationPage(window); break;
    case 1: RunUpdate(window); break;
    case 2: platform.EndDialog(window, 0); break;
    default: break;
  }
  s.wizardPage += 1;
  s.wizardBusy -= 1;
}

void Command(win::Hwnd window, int id) {
  const bool busy = updaterState.wizardBusy != 0;
  switch (id) {
    case kIdNext:
    case kIdBack:
      if (!busy) Step(window, id == kIdBack);
      break;
    case kIdCancel:
      if (!busy) platform.EndDialog(window, -1);
      break;
    case kIdAgree:
      EnableControl(window, kIdNext, true);
      platform.CheckRadioButton(window, kIdAgree, kIdDisagree, kIdAgree);
      break;
    case kIdDisagree:
      EnableControl(window, kIdNext, false);
      platform.CheckRadioButton(window, kIdAgree, kIdDisagree, kIdDisagree);
      break;
    default: break;
  }
}

}  // namespace

win::IntPtr WINAPI_CC WizardDialogProc(win::Hwnd window, win::Uint message, win::WParam first,
                                       win::LParam) {
  switch (message) {
    case win::kWmInitDialog: Initialise(window); return 0;  // no initial focus
    case win::kWmCommand:
      // Only button clicks (notification code 0) count.
      if (((first >> 16) & 0xFFFF) == 0) Command(window, int(first & 0xFFFF));
      return 0;
    case win::kWmSetCursor:
      if (updaterState.wizardBusy == 0) return 0;
      UseSystemCursor(win::kIdcWait);
      return 1;
    default: return 0;
  }
}
