// The wizard's modal dialog on a terminal: PosixDialogBoxParamA
// (declared in posix_functions.h) over the stand-in desktop
// (desktop_standin.h).
//
// The dialog gets the controls of its template (100 or 101, as the
// Windows resources define them), the dialog procedure receives
// WM_INITDIALOG, and then, until the procedure calls EndDialog, the page is
// printed in UTF-8 on the desktop's echo stream and one press is taken and
// sent as WM_COMMAND (a button click). Presses are the words next, back,
// cancel, agree, disagree and close (the window's close box), or their first
// letters (x for close); they come, in this order, from words queued with
// QueueWizardInput, from the comma-separated list in UPDATER_WIZARD ("agree,
// next,next,next"), from the terminal when standard input is one; when
// there are none left the window is closed. A press on a control that is
// disabled or hidden does nothing, as a click on it does nothing. When the
// close box does nothing either (Cancel disabled) and no input is left, the
// dialog is abandoned with -1.
#pragma once

#include <string>
#include <vector>

#include "core/win_types.h"
#include "platform/posix/desktop_standin.h"
#include "platform/posix/posix_functions.h"

// Presses for the next dialogs, used before UPDATER_WIZARD and the terminal.
void QueueWizardInput(const std::vector<std::string>& words);
// Drops the queued presses and starts UPDATER_WIZARD over.
void ClearWizardInput();

// The caption and controls of dialog template `id`, as the stand-in dialog
// is built. False for a template that does not exist.
bool TerminalDialogTemplate(unsigned id, std::string* caption,
                            std::vector<NewStandinControl>* controls);
