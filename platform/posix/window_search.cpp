// Window searches over the stand-in desktop and the window list (see
// window_search.h).
#include "platform/posix/window_search.h"

#include <signal.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "host/codepage.h"
#include "platform/posix/desktop_standin.h"
#include "platform/posix/posix_functions.h"

namespace {

struct ListedWindow {
  std::string className;  // as listed (ASCII class names)
  std::string title;      // code page 932
  win::Hwnd window = nullptr;
};

struct PublishedWindow {
  win::Hwnd window;
  std::string line;
};

struct SearchState {
  std::vector<ListedWindow> listed;  // stand-in windows made from the list
  std::vector<PublishedWindow> published;
  win::Hwnd foreground = nullptr;
};

SearchState& State() {
  static SearchState state;
  return state;
}

const char* ListPath() {
  const char* path = std::getenv("UPDATER_WINDOWS");
  return path != nullptr && *path != '\0' ? path : nullptr;
}

bool ProcessIsAlive(long pid) { return kill(pid_t(pid), 0) == 0 || errno == EPERM; }

std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t end = line.find(separator, start);
    fields.push_back(line.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) return fields;
    start = end + 1;
  }
}

std::vector<std::string> ReadListLines(const char* path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The windows of other processes that the list names now.
std::vector<ListedWindow> ReadList() {
  std::vector<ListedWindow> windows;
  const char* path = ListPath();
  if (path == nullptr) return windows;
  for (const std::string& line : ReadListLines(path)) {
    std::vector<std::string> fields = Split(line, '\t');
    if (fields.size() < 2) continue;  // no window: blank lines and comments
    if (fields.size() >= 3 && !fields[2].empty()) {
      long pid = std::strtol(fields[2].c_str(), nullptr, 10);
      if (pid == long(getpid()) || !ProcessIsAlive(pid)) continue;
    }
    ListedWindow window;
    window.className = fields[0];
    if (!Utf8ToCp932(fields[1], &window.title)) {
      std::fprintf(stderr, "UPDATER_WINDOWS: a title that code page 932 cannot hold: %s\n",
                   fields[1].c_str());
      continue;
    }
    windows.push_back(window);
  }
  return windows;
}

// True while the stand-in window made for `listed` still exists (the
// desktop may have been reset since).
bool StillThere(const ListedWindow& listed) {
  StandinWindow* record = StandinWindowOf(listed.window);
  return record != nullptr && record->className == listed.className && record->text == listed.title;
}

// Makes the stand-in windows match the list: new entries get a window,
// entries no longer listed lose theirs.
void SyncListedWindows() {
  std::vector<ListedWindow> now = ReadList();
  std::vector<ListedWindow>& kept = State().listed;
  for (ListedWindow& old : kept) {
    if (!StillThere(old)) old.window = nullptr;
  }
  for (ListedWindow& window : now) {
    for (ListedWindow& old : kept) {
      if (old.window != nullptr && old.className == window.className && old.title == window.title) {
        window.window = old.window;
        old.window = nullptr;
        break;
      }
    }
    if (window.window == nullptr) {
      window.window = CreateStandinWindow(window.className, window.title);
    }
  }
  for (ListedWindow& old : kept) {
    if (old.window != nullptr) DestroyStandinWindow(old.window);
  }
  kept = now;
}

bool ClassMatches(const StandinWindow& window, const char* className) {
  if (className == nullptr) return true;
  if (win::IsIntResource(className)) {
    return reinterpret_cast<uintptr_t>(className) == win::kDialogClassAtom &&
           window.className == kStandinDialogClass;
  }
  return strcasecmp(window.className.c_str(), className) == 0;
}

bool TitleMatches(const StandinWindow& window, const char* title) {
  return title == nullptr || PosixlstrcmpiA(window.text.c_str(), title) == 0;
}

std::string ListLine(win::Hwnd window) {
  StandinWindow* record = StandinWindowOf(window);
  if (record == nullptr) return "";
  return record->className + "\t" + Cp932ToUtf8Lossy(record->text) + "\t" +
         std::to_string(long(getpid()));
}

void WriteListLines(const char* path, const std::vector<std::string>& lines) {
  std::ofstream out(path, std::ios::trunc);
  for (const std::string& line : lines) out << line << '\n';
  if (!out) std::fprintf(stderr, "UPDATER_WINDOWS: cannot write %s\n", path);
}

}  // namespace

// As FindWindowA: the first top-level window whose class (a name, or the
// class atom of the dialog class) and title match, without regard to case;
// a null class or title matches any.
win::Hwnd WINAPI_CC PosixFindWindowA(const char* className, const char* title) {
  SyncListedWindows();
  for (StandinWindow* window : StandinTopLevelWindows()) {
    if (ClassMatches(*window, className) && TitleMatches(*window, title)) return window;
  }
  return nullptr;
}

// As SetForegroundWindow: nonzero when `window` is a live top-level window,
// which becomes the foreground window.
win::Bool WINAPI_CC PosixSetForegroundWindow(win::Hwnd window) {
  StandinWindow* record = StandinWindowOf(window);
  if (record == nullptr || record->parent != nullptr) return 0;
  State().foreground = window;
  return 1;
}

win::Hwnd StandinForegroundWindow() {
  win::Hwnd window = State().foreground;
  return StandinWindowOf(window) != nullptr ? window : nullptr;
}

void PublishStandinWindow(win::Hwnd window) {
  const char* path = ListPath();
  const std::string line = ListLine(window);
  if (path == nullptr || line.empty()) return;
  std::vector<std::string> lines = ReadListLines(path);
  lines.push_back(line);
  WriteListLines(path, lines);
  State().published.push_back({window, line});
}

void WithdrawStandinWindow(win::Hwnd window) {
  std::vector<PublishedWindow>& published = State().published;
  for (auto entry = published.begin(); entry != published.end(); ++entry) {
    if (entry->window != window) continue;
    const std::string line = entry->line;
    published.erase(entry);
    const char* path = ListPath();
    if (path == nullptr) return;
    std::vector<std::string> lines = ReadListLines(path);
    for (auto it = lines.begin(); it != lines.end(); ++it) {
      if (*it == line) {
        lines.erase(it);
        break;
      }
    }
    WriteListLines(path, lines);
    return;
  }
}
