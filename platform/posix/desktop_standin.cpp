// The records of the stand-in desktop: windows, focus, cursor, queued
// answers and the echo stream.
#include "platform/posix/desktop_standin.h"

#include <deque>

const char kStandinDialogClass[] = "#32770";

namespace {

struct Desktop {
  std::vector<std::unique_ptr<StandinWindow>> windows;
  StandinWindow* focus = nullptr;
  unsigned cursorId = 0;
  std::deque<int> answers;
  std::FILE* echo = stderr;
};

Desktop& TheDesktop() {
  static Desktop desktop;
  return desktop;
}

bool Contains(const StandinWindow* window, const StandinWindow* wanted) {
  if (window == wanted) return true;
  for (const auto& child : window->children) {
    if (Contains(child.get(), wanted)) return true;
  }
  return false;
}

win::Hwnd AddTopLevel(std::unique_ptr<StandinWindow> window) {
  StandinWindow* record = window.get();
  TheDesktop().windows.push_back(std::move(window));
  return record;
}

}  // namespace

win::Hwnd CreateStandinDialog(const std::string& title,
                              const std::vector<NewStandinControl>& controls) {
  auto dialog = std::make_unique<StandinWindow>();
  dialog->className = kStandinDialogClass;
  dialog->text = title;
  for (const NewStandinControl& wanted : controls) {
    auto control = std::make_unique<StandinWindow>();
    control->className = wanted.className;
    control->text = wanted.text;
    control->id = wanted.id;
    control->enabled = wanted.enabled;
    control->visible = wanted.visible;
    control->parent = dialog.get();
    dialog->children.push_back(std::move(control));
  }
  return AddTopLevel(std::move(dialog));
}

win::Hwnd CreateStandinWindow(const std::string& className, const std::string& title) {
  auto window = std::make_unique<StandinWindow>();
  window->className = className;
  window->text = title;
  return AddTopLevel(std::move(window));
}

void DestroyStandinWindow(win::Hwnd window) {
  Desktop& desktop = TheDesktop();
  for (auto it = desktop.windows.begin(); it != desktop.windows.end(); ++it) {
    if (it->get() != window) continue;
    if (desktop.focus != nullptr && Contains(it->get(), desktop.focus)) desktop.focus = nullptr;
    desktop.windows.erase(it);
    return;
  }
}

void ResetStandinDesktop() {
  Desktop& desktop = TheDesktop();
  desktop.windows.clear();
  desktop.focus = nullptr;
  desktop.cursorId = 0;
  desktop.answers.clear();
  desktop.echo = stderr;
}

StandinWindow* StandinWindowOf(win::Hwnd window) {
  if (window == nullptr) return nullptr;
  for (const auto& top : TheDesktop().windows) {
    if (top.get() == window) return top.get();
    for (const auto& child : top->children) {
      if (child.get() == window) return child.get();
    }
  }
  return nullptr;
}

StandinWindow* FindStandinControl(win::Hwnd dialog, int id) {
  StandinWindow* parent = StandinWindowOf(dialog);
  if (parent == nullptr) return nullptr;
  for (const auto& child : parent->children) {
    if (child->id == id) return child.get();
  }
  return nullptr;
}

std::vector<StandinWindow*> StandinTopLevelWindows() {
  std::vector<StandinWindow*> list;
  for (const auto& top : TheDesktop().windows) list.push_back(top.get());
  return list;
}

bool StandinDialogEnded(win::Hwnd dialog, win::IntPtr* result) {
  StandinWindow* record = StandinWindowOf(dialog);
  if (record == nullptr || !record->ended) return false;
  if (result != nullptr) *result = record->endResult;
  return true;
}

win::Hwnd StandinFocus() { return TheDesktop().focus; }

unsigned StandinCursorId() { return TheDesktop().cursorId; }

void QueueStandinAnswers(const std::vector<int>& answers) {
  for (int answer : answers) TheDesktop().answers.push_back(answer);
}

void SetStandinEchoStream(std::FILE* stream) { TheDesktop().echo = stream; }

void SetStandinFocusWindow(StandinWindow* window) { TheDesktop().focus = window; }

void SetStandinCursorId(unsigned id) { TheDesktop().cursorId = id; }

bool TakeQueuedStandinAnswer(int* answer) {
  Desktop& desktop = TheDesktop();
  if (desktop.answers.empty()) return false;
  *answer = desktop.answers.front();
  desktop.answers.pop_front();
  return true;
}

std::FILE* StandinEchoStream() { return TheDesktop().echo; }
