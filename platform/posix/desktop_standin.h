// Stand-in windows of the POSIX desktop.
//
// There is no window system on a terminal, so the desktop keeps plain records
// of windows instead: top-level windows (dialogs and others, with a class and
// a title) and the child controls of a dialog (by id, with class, text,
// enabled, visible and checked states). The `platform` entries SetDlgItemTextA,
// GetDlgItem, EnableWindow, SetFocus, SetWindowTextA, ShowWindow,
// CheckRadioButton, SetCursor, LoadCursorA and EndDialog work on these
// records with the contracts of their Win32 namesakes; a handle (win::Hwnd)
// is the address of a record. Handles that are not records (null, stale) make
// those entries fail as Win32 does for an invalid window.
//
// Texts are code page 932 bytes. Changes of a static control's text (the
// wizard's info line) and every message box are echoed in UTF-8 on the echo
// stream (standard error unless changed).
//
// Answers to OK/Cancel message boxes come, in this order, from answers queued
// with QueueStandinAnswers, from the comma-separated list in UPDATER_ANSWERS
// ("ok,cancel", used in order, once), from the terminal when standard input is
// one, and otherwise Cancel.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/win_types.h"

// The class name of dialog boxes ("#32770", the predefined dialog class).
extern const char kStandinDialogClass[];

struct StandinWindow {
  std::string className;  // "#32770" for dialogs; "button", "static", "edit", ...
  std::string text;       // title of a top-level window, text of a control
  int id = 0;             // control id; 0 for top-level windows
  bool enabled = true;
  bool visible = true;
  bool checked = false;  // radio buttons and check boxes
  StandinWindow* parent = nullptr;
  std::vector<std::unique_ptr<StandinWindow>> children;  // in creation (tab) order

  // Dialogs: the dialog procedure that the owner of the dialog feeds
  // messages to (none for dialogs created only to be worked on directly),
  // and whether EndDialog was called, with which result.
  win::DialogProc procedure = nullptr;
  bool ended = false;
  win::IntPtr endResult = 0;

  win::Hwnd Handle() { return this; }
};

// A control to create in a stand-in dialog.
struct NewStandinControl {
  int id;
  std::string className;
  std::string text;  // code page 932
  bool enabled = true;
  bool visible = true;
};

// Creates a top-level dialog titled `title` with the given controls, in
// order. The dialog is visible and enabled and has not ended.
win::Hwnd CreateStandinDialog(const std::string& title,
                              const std::vector<NewStandinControl>& controls);
// Creates another top-level window (for example a game's main window).
win::Hwnd CreateStandinWindow(const std::string& className, const std::string& title);
// Removes a top-level window with its controls; focus on it is dropped.
void DestroyStandinWindow(win::Hwnd window);
// Removes every window, clears the focus and the cursor, drops queued
// answers and restores the echo stream to standard error.
void ResetStandinDesktop();

// The record behind a handle, or null when the handle is not a live window.
StandinWindow* StandinWindowOf(win::Hwnd window);
// The control `id` of `dialog`, or null.
StandinWindow* FindStandinControl(win::Hwnd dialog, int id);
// Top-level windows in creation order.
std::vector<StandinWindow*> StandinTopLevelWindows();

// True once EndDialog was called for `dialog`; its result in `result`.
bool StandinDialogEnded(win::Hwnd dialog, win::IntPtr* result);

// The window that has the keyboard focus, or null.
win::Hwnd StandinFocus();
// The IDC_ id of the current cursor (win::kIdcArrow, win::kIdcWait, ...),
// 0 when no cursor has been set.
unsigned StandinCursorId();

// Answers (win::kIdOk, win::kIdCancel) for the next OK/Cancel boxes, used
// before UPDATER_ANSWERS and the terminal.
void QueueStandinAnswers(const std::vector<int>& answers);

// Where info lines and message boxes are echoed; null silences the echo.
void SetStandinEchoStream(std::FILE* stream);

// For the desktop's platform entries (and a terminal dialog loop on top):
// moving the focus and the cursor, taking the next queued answer, and the
// current echo stream (null when silenced).
void SetStandinFocusWindow(StandinWindow* window);
void SetStandinCursorId(unsigned id);
bool TakeQueuedStandinAnswer(int* answer);
std::FILE* StandinEchoStream();
