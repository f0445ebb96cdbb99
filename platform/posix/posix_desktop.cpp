// The desktop on a terminal: dialogs, controls and cursors are the stand-in
// records of desktop_standin.h; message boxes and the info line are echoed in
// UTF-8; OK/Cancel questions take queued answers, then UPDATER_ANSWERS (a
// comma-separated list such as "ok,cancel", used in order), then the
// terminal, else Cancel.
#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "host/codepage.h"
#include "platform/posix/desktop_standin.h"
#include "platform/posix/posix_functions.h"

namespace {

// ---- Echo and answers ----

// CP932 text for the terminal: UTF-8, carriage returns as line breaks.
std::string ForTerminal(const char* cp932) {
  return Cp932ToTerminalText(cp932 != nullptr ? cp932 : "");
}

// The next answer of UPDATER_ANSWERS; a changed list starts over.
std::string NextScriptedAnswer() {
  static std::string all;
  static size_t position = 0;
  const char* script = std::getenv("UPDATER_ANSWERS");
  if (script == nullptr) return "";
  if (all != script) {
    all = script;
    position = 0;
  }
  if (position >= all.size()) return "";
  size_t comma = all.find(',', position);
  if (comma == std::string::npos) comma = all.size();
  std::string answer = all.substr(position, comma - position);
  position = comma + 1;
  return answer;
}

int AskOkCancel() {
  int queued = 0;
  if (TakeQueuedStandinAnswer(&queued)) return queued;
  std::string answer = NextScriptedAnswer();
  if (answer.empty() && isatty(STDIN_FILENO)) {
    std::fprintf(stderr, "[OK / Cancel] (o/c)? ");
    std::getline(std::cin, answer);
  }
  return (!answer.empty() && (answer[0] == 'o' || answer[0] == 'O')) ? win::kIdOk : win::kIdCancel;
}

}  // namespace

int WINAPI_CC PosixMessageBoxA(win::Hwnd, const char* text, const char* caption, win::Uint type) {
  if (std::FILE* echo = StandinEchoStream()) {
    std::fprintf(echo, "\n[%s]\n%s\n", ForTerminal(caption).c_str(), ForTerminal(text).c_str());
    std::fflush(echo);
  }
  if ((type & 0xF) == win::kMbOkCancel) return AskOkCancel();
  return win::kIdOk;
}

// ---- Windows and controls ----

namespace {

bool IsStatic(const StandinWindow& window) {
  return strcasecmp(window.className.c_str(), "static") == 0;
}

void SetText(StandinWindow* window, const char* text) {
  window->text = text != nullptr ? text : "";
  std::FILE* echo = StandinEchoStream();
  if (echo != nullptr && IsStatic(*window)) {
    std::fprintf(echo, "%s\n", ForTerminal(window->text.c_str()).c_str());
    std::fflush(echo);
  }
}

}  // namespace

win::Bool WINAPI_CC PosixSetWindowTextA(win::Hwnd window, const char* text) {
  StandinWindow* record = StandinWindowOf(window);
  if (record == nullptr) return 0;
  SetText(record, text);
  return 1;
}

win::Bool WINAPI_CC PosixSetDlgItemTextA(win::Hwnd dialog, int id, const char* text) {
  StandinWindow* control = FindStandinControl(dialog, id);
  if (control == nullptr) return 0;
  SetText(control, text);
  return 1;
}

win::Hwnd WINAPI_CC PosixGetDlgItem(win::Hwnd dialog, int id) {
  StandinWindow* control = FindStandinControl(dialog, id);
  return control != nullptr ? control->Handle() : nullptr;
}

// Nonzero when the window was disabled before, as EnableWindow reports.
win::Bool WINAPI_CC PosixEnableWindow(win::Hwnd window, win::Bool enable) {
  StandinWindow* record = StandinWindowOf(window);
  if (record == nullptr) return 0;
  bool wasDisabled = !record->enabled;
  record->enabled = enable != 0;
  return wasDisabled ? 1 : 0;
}

// Nonzero when the window was visible before, as ShowWindow reports.
win::Bool WINAPI_CC PosixShowWindow(win::Hwnd window, int command) {
  StandinWindow* record = StandinWindowOf(window);
  if (record == nullptr) return 0;
  bool wasVisible = record->visible;
  record->visible = command != win::kSwHide;
  return wasVisible ? 1 : 0;
}

// Returns the window that had the focus; an invalid window changes nothing.
win::Hwnd WINAPI_CC PosixSetFocus(win::Hwnd window) {
  win::Hwnd previous = StandinFocus();
  if (window == nullptr) {
    SetStandinFocusWindow(nullptr);
    return previous;
  }
  StandinWindow* record = StandinWindowOf(window);
  if (record == nullptr) return nullptr;
  SetStandinFocusWindow(record);
  return previous;
}

win::Bool WINAPI_CC PosixCheckRadioButton(win::Hwnd dialog, int first, int last, int check) {
  StandinWindow* record = StandinWindowOf(dialog);
  if (record == nullptr) return 0;
  for (auto& child : record->children) {
    if (child->id >= first && child->id <= last) child->checked = child->id == check;
  }
  return 1;
}

win::Bool WINAPI_CC PosixEndDialog(win::Hwnd dialog, win::IntPtr result) {
  StandinWindow* record = StandinWindowOf(dialog);
  if (record == nullptr || record->parent != nullptr) return 0;
  record->ended = true;
  record->endResult = result;
  return 1;
}

// ---- Cursors: the system's cursors by IDC_ id ----

namespace {

struct SystemCursor {
  unsigned id;
};

const SystemCursor kSystemCursors[] = {
    {32512}, {32513}, {32514}, {32515}, {32516}, {32640}, {32641}, {32642},
    {32643}, {32644}, {32645}, {32646}, {32648}, {32649}, {32650}, {32651},
};

win::Hcursor CursorHandle(unsigned id) {
  for (const SystemCursor& cursor : kSystemCursors) {
    if (cursor.id == id) return const_cast<SystemCursor*>(&cursor);
  }
  return nullptr;
}

}  // namespace

win::Hcursor WINAPI_CC PosixLoadCursorA(win::Hmodule instance, const char* name) {
  // Only the system's cursors exist; modules carry none.
  if (instance != nullptr || !win::IsIntResource(name)) return nullptr;
  return CursorHandle(unsigned(reinterpret_cast<uintptr_t>(name)));
}

// Returns the previous cursor. A handle that is not a system cursor leaves
// no known cursor set.
win::Hcursor WINAPI_CC PosixSetCursor(win::Hcursor cursor) {
  win::Hcursor previous = CursorHandle(StandinCursorId());
  unsigned id = 0;
  for (const SystemCursor& known : kSystemCursors) {
    if (&known == cursor) id = known.id;
  }
  SetStandinCursorId(id);
  return previous;
}
