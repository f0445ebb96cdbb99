// The wizard's modal dialog on a terminal (see terminal_dialog.h).
#include "platform/posix/terminal_dialog.h"

#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <iostream>

#include "host/codepage.h"
#include "platform/posix/window_search.h"

namespace {

// ---- Templates ----

struct TemplateControl {
  int id;
  const char* className;
  const char* text;  // UTF-8
};

struct DialogTemplate {
  unsigned id;
  const char* caption;
  std::vector<TemplateControl> controls;  // in tab order
};

const DialogTemplate kTemplates[] = {
    {100,
     "UPDATE",
     {{1, "button", "次へ"},
      {2, "button", "中止"},
      {4, "button", "戻る"},
      {1001, "static", "Info"}}},
    {101,
     "UPDATE",
     {{1, "button", "次へ"},
      {2, "button", "中止"},
      {4, "button", "戻る"},
      {1001, "static", "Info"},
      {1000, "edit", ""},
      {1002, "button", "同意する"},
      {1003, "button", "同意しない"}}},
};

// ---- Presses ----

struct Press {
  const char* word;
  const char* letter;
  int id;  // 0: the window's close box
};

const Press kPresses[] = {
    {"next", "n", 1},     {"back", "b", 4},        {"cancel", "c", 2},
    {"agree", "a", 1002}, {"disagree", "d", 1003}, {"close", "x", 0},
};

constexpr int kCancelId = 2;

struct Input {
  std::deque<std::string> queued;
  std::string script;   // UPDATER_WIZARD as last seen
  size_t position = 0;  // in `script`
};

Input& TheInput() {
  static Input input;
  return input;
}

// The next word of UPDATER_WIZARD; a changed list starts over.
bool NextScriptedWord(std::string* word) {
  Input& input = TheInput();
  const char* script = std::getenv("UPDATER_WIZARD");
  if (script == nullptr) return false;
  if (input.script != script) {
    input.script = script;
    input.position = 0;
  }
  if (input.position >= input.script.size()) return false;
  size_t comma = input.script.find(',', input.position);
  if (comma == std::string::npos) comma = input.script.size();
  *word = input.script.substr(input.position, comma - input.position);
  input.position = comma + 1;
  return true;
}

bool NextWord(std::string* word) {
  std::deque<std::string>& queued = TheInput().queued;
  if (!queued.empty()) {
    *word = queued.front();
    queued.pop_front();
    return true;
  }
  if (NextScriptedWord(word)) return true;
  if (!isatty(STDIN_FILENO)) return false;
  std::fprintf(stderr, "next, back, cancel, agree, disagree, close (n/b/c/a/d/x)? ");
  return static_cast<bool>(std::getline(std::cin, *word));
}

const Press* FindPress(const std::string& word) {
  const size_t first = word.find_first_not_of(" \t");
  const size_t last = word.find_last_not_of(" \t\r");
  if (first == std::string::npos) return nullptr;
  const std::string trimmed = word.substr(first, last - first + 1);
  for (const Press& press : kPresses) {
    if (strcasecmp(trimmed.c_str(), press.word) == 0 ||
        strcasecmp(trimmed.c_str(), press.letter) == 0) {
      return &press;
    }
  }
  return nullptr;
}

// ---- The page ----

std::string Utf8(const std::string& cp932) { return Cp932ToTerminalText(cp932); }

const char* LetterOf(int id) {
  for (const Press& press : kPresses) {
    if (press.id == id) return press.letter;
  }
  return "";
}

bool IsRadio(const StandinWindow& control) { return control.id == 1002 || control.id == 1003; }

void PrintPage(StandinWindow* dialog) {
  std::FILE* out = StandinEchoStream();
  if (out == nullptr) return;
  std::fprintf(out, "\n==== %s ====\n", Utf8(dialog->text).c_str());
  for (const auto& control : dialog->children) {
    if (!control->visible) continue;
    if (strcasecmp(control->className.c_str(), "static") == 0) {
      std::fprintf(out, "%s\n", Utf8(control->text).c_str());
    } else if (strcasecmp(control->className.c_str(), "edit") == 0) {
      std::fprintf(out, "----\n%s\n----\n", Utf8(control->text).c_str());
    }
  }
  std::string radios;
  std::string buttons;
  for (const auto& control : dialog->children) {
    if (!control->visible || strcasecmp(control->className.c_str(), "button") != 0) continue;
    const std::string state = control->enabled ? "" : " (off)";
    if (IsRadio(*control)) {
      radios += std::string(control->checked ? "(*) " : "( ) ") + Utf8(control->text) + " [" +
                LetterOf(control->id) + "]" + state + "   ";
    } else {
      buttons +=
          std::string("[") + LetterOf(control->id) + "] " + Utf8(control->text) + state + "   ";
    }
  }
  if (!radios.empty()) std::fprintf(out, "%s\n", radios.c_str());
  std::fprintf(out, "%s\n", buttons.c_str());
  std::fflush(out);
}

void Note(const std::string& text) {
  if (std::FILE* out = StandinEchoStream()) {
    std::fprintf(out, "(%s)\n", text.c_str());
    std::fflush(out);
  }
}

// ---- Sending presses ----

void Click(StandinWindow* dialog, win::DialogProc procedure, int id) {
  StandinWindow* control = FindStandinControl(dialog, id);
  if (control == nullptr || !control->enabled || !control->visible) {
    Note(control == nullptr ? "no such control" : "that control cannot be pressed now");
    return;
  }
  // BN_CLICKED is notification code 0: the id alone is the first parameter.
  procedure(dialog, win::kWmCommand, win::WParam(id), win::LParam(control));
}

// The close box: Cancel's command, unless a Cancel button is disabled.
void CloseBox(StandinWindow* dialog, win::DialogProc procedure) {
  StandinWindow* cancel = FindStandinControl(dialog, kCancelId);
  if (cancel != nullptr && !cancel->enabled) {
    Note("the close box does nothing while Cancel is disabled");
    return;
  }
  procedure(dialog, win::kWmCommand, win::WParam(kCancelId), win::LParam(cancel));
}

win::IntPtr RunModalLoop(StandinWindow* dialog, win::DialogProc procedure) {
  win::IntPtr result = 0;
  while (!StandinDialogEnded(dialog, &result)) {
    PrintPage(dialog);
    std::string word;
    if (!NextWord(&word)) {
      Note("no input left: closing the window");
      CloseBox(dialog, procedure);
      if (StandinDialogEnded(dialog, &result)) break;
      Note("the dialog is abandoned");
      return -1;
    }
    const Press* press = FindPress(word);
    if (press == nullptr) {
      Note("unknown press '" + word + "'");
    } else if (press->id == 0) {
      CloseBox(dialog, procedure);
    } else {
      Click(dialog, procedure, press->id);
    }
  }
  return result;
}

}  // namespace

bool TerminalDialogTemplate(unsigned id, std::string* caption,
                            std::vector<NewStandinControl>* controls) {
  for (const DialogTemplate& t : kTemplates) {
    if (t.id != id) continue;
    *caption = t.caption;
    controls->clear();
    for (const TemplateControl& c : t.controls) {
      NewStandinControl control{c.id, c.className, ""};
      Utf8ToCp932(c.text, &control.text);
      controls->push_back(control);
    }
    return true;
  }
  return false;
}

win::IntPtr WINAPI_CC PosixDialogBoxParamA(win::Hmodule, const char* templateName, win::Hwnd,
                                           win::DialogProc procedure, win::LParam parameter) {
  std::string caption;
  std::vector<NewStandinControl> controls;
  if (procedure == nullptr || !win::IsIntResource(templateName) ||
      !TerminalDialogTemplate(unsigned(reinterpret_cast<uintptr_t>(templateName)), &caption,
                              &controls)) {
    std::fprintf(stderr, "The terminal has no such dialog template.\n");
    return -1;
  }
  win::Hwnd handle = CreateStandinDialog(caption, controls);
  StandinWindow* dialog = StandinWindowOf(handle);
  dialog->procedure = procedure;
  // A nonzero answer asks for the focus on the first control.
  if (procedure(handle, win::kWmInitDialog, win::WParam(dialog->children.front().get()),
                parameter) != 0) {
    SetStandinFocusWindow(dialog->children.front().get());
  }
  PublishStandinWindow(handle);
  const win::IntPtr result = RunModalLoop(dialog, procedure);
  WithdrawStandinWindow(handle);
  DestroyStandinWindow(handle);
  return result;
}

void QueueWizardInput(const std::vector<std::string>& words) {
  for (const std::string& word : words) TheInput().queued.push_back(word);
}

void ClearWizardInput() { TheInput() = Input(); }
