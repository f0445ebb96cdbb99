// The desktop on a terminal: message boxes are printed in UTF-8 on standard
// error; OK/Cancel questions take their answers from UPDATER_ANSWERS (a
// comma-separated list such as "ok,cancel", used in order), else from the
// terminal, else Cancel.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "core/platform.h"
#include "platform/posix/codepage.h"
#include "platform/posix/posix_functions.h"

namespace {

std::string NextScriptedAnswer() {
  static size_t position = 0;
  const char* script = std::getenv("UPDATER_ANSWERS");
  if (script == nullptr) return "";
  std::string all = script;
  if (position >= all.size()) return "";
  size_t comma = all.find(',', position);
  if (comma == std::string::npos) comma = all.size();
  std::string answer = all.substr(position, comma - position);
  position = comma + 1;
  return answer;
}

int AskOkCancel() {
  std::string answer = NextScriptedAnswer();
  if (answer.empty() && isatty(STDIN_FILENO)) {
    std::fprintf(stderr, "[OK / Cancel] (o/c)? ");
    std::getline(std::cin, answer);
  }
  return (!answer.empty() && (answer[0] == 'o' || answer[0] == 'O')) ? win::kIdOk
                                                                     : win::kIdCancel;
}

int WINAPI_CC TerminalMessageBoxA(win::Hwnd, const char* text, const char* caption,
                                  win::Uint type) {
  std::fprintf(stderr, "\n[%s]\n%s\n", Cp932ToUtf8Lossy(caption ? caption : "").c_str(),
               Cp932ToUtf8Lossy(text ? text : "").c_str());
  if ((type & 0xF) == win::kMbOkCancel) return AskOkCancel();
  return win::kIdOk;
}

// No other updater or game window exists on a terminal.
win::Hwnd WINAPI_CC NoWindowFound(const char*, const char*) { return nullptr; }
win::Bool WINAPI_CC NoWindowShown(win::Hwnd, int) { return 0; }
win::Bool WINAPI_CC NoForegroundWindow(win::Hwnd) { return 0; }

// The terminal has no dialog boxes in this build: the dialog cannot be created.
win::IntPtr WINAPI_CC NoDialog(win::Hmodule, const char*, win::Hwnd, win::DialogProc,
                               win::LParam) {
  std::fprintf(stderr, "The wizard is not available on a terminal in this build.\n");
  return -1;
}
win::Bool WINAPI_CC NoEndDialog(win::Hwnd, win::IntPtr) { return 0; }
win::Bool WINAPI_CC NoWindowText(win::Hwnd, const char*) { return 0; }
win::Bool WINAPI_CC NoItemText(win::Hwnd, int, const char*) { return 0; }
win::Hwnd WINAPI_CC NoItem(win::Hwnd, int) { return nullptr; }
win::Bool WINAPI_CC NoEnable(win::Hwnd, win::Bool) { return 0; }
win::Hwnd WINAPI_CC NoFocus(win::Hwnd) { return nullptr; }
win::Bool WINAPI_CC NoRadio(win::Hwnd, int, int, int) { return 0; }
win::Hcursor WINAPI_CC NoCursor(win::Hcursor) { return nullptr; }
win::Hcursor WINAPI_CC NoCursorLoaded(win::Hmodule, const char*) { return nullptr; }

}  // namespace

void InstallPosixDesktop(PlatformOperations& table) {
  table.MessageBoxA = TerminalMessageBoxA;
  table.FindWindowA = NoWindowFound;
  table.ShowWindow = NoWindowShown;
  table.SetForegroundWindow = NoForegroundWindow;
  table.DialogBoxParamA = NoDialog;
  table.EndDialog = NoEndDialog;
  table.SetWindowTextA = NoWindowText;
  table.SetDlgItemTextA = NoItemText;
  table.GetDlgItem = NoItem;
  table.EnableWindow = NoEnable;
  table.SetFocus = NoFocus;
  table.CheckRadioButton = NoRadio;
  table.SetCursor = NoCursor;
  table.LoadCursorA = NoCursorLoaded;
}
