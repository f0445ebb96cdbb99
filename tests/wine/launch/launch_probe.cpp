// What the launch's Wine cases need beside the harness's driver: a stand-in
// for the running game (a top-level window of a given class and title), and
// checks of the wizard's controls (enabled, shown, checked, text).
//
// Usage: launch_probe VERB [ARGUMENTS]
//   game-window CLASS TITLE SECONDS  show a window until it is closed or
//                                    SECONDS have passed (exit 0 when closed,
//                                    2 when the time ran out)
//   close-window CLASS TITLE MS      close that window and wait until it is gone
//   wait-foreground CLASS TITLE MS   wait until that window is in the foreground
//   control CAPTION ID STATE...      the wizard's control ID is in every STATE:
//                                    enabled, disabled, shown, hidden, checked,
//                                    unchecked, or text=TEXT
// Arguments are read as UTF-16 and used as code page 932 bytes, whatever the
// locale: the game's window is made and found through the ANSI functions
// with those bytes, as a Japanese game does, and the wizard is found and its
// texts are compared through the Unicode functions. Output is in code page 932.
// Exit status: 0 passed, 1 a check failed,
// 2 a wait timed out, 3 bad usage.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/wine/driver_support.h"

namespace {

constexpr UINT kCodePage932 = 932;

std::wstring FromCp932(const char* text) { return Widen(text, kCodePage932); }

int Usage() {
  std::printf(
      "usage: launch_probe game-window CLASS TITLE SECONDS\n"
      "       launch_probe close-window CLASS TITLE MS\n"
      "       launch_probe wait-foreground CLASS TITLE MS\n"
      "       launch_probe control CAPTION ID STATE...\n");
  return kUsage;
}

int GameWindow(const char* className, const char* title, DWORD seconds) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM first, LPARAM second) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(window, message, first, second);
  };
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = className;
  if (!RegisterClassA(&windowClass)) return kCheckFailed;
  HWND window = CreateWindowA(className, title, WS_OVERLAPPEDWINDOW, 20, 20, 320, 200, nullptr,
                              nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr) return kCheckFailed;
  ShowWindow(window, SW_SHOW);
  std::printf("game window %s: %s\n", className, title);
  std::fflush(stdout);
  const UINT_PTR timer = SetTimer(nullptr, 0, seconds * 1000, nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && message.wParam == timer) return kTimedOut;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return kPassed;
}

// A dialog (an updater's wizard, a Unicode window) by its title through
// the Unicode functions; any other window (the game's) through the ANSI
// ones, as it was made.
HWND FindByClassAndTitle(const char* className, const char* title) {
  if (std::strcmp(className, "#32770") == 0) {
    return FindWindowW(L"#32770", FromCp932(title).c_str());
  }
  return FindWindowA(className, title);
}

int CloseWindow(const char* className, const char* title, DWORD timeoutMs) {
  HWND window = FindByClassAndTitle(className, title);
  if (window == nullptr) {
    std::printf("no window %s: %s\n", className, title);
    return kCheckFailed;
  }
  PostMessageA(window, WM_CLOSE, 0, 0);
  if (!WaitUntil([&] { return !IsWindow(window); }, timeoutMs)) return kTimedOut;
  std::printf("closed %s: %s\n", className, title);
  return kPassed;
}

int WaitForeground(const char* className, const char* title, DWORD timeoutMs) {
  HWND window = FindByClassAndTitle(className, title);
  if (window == nullptr) {
    std::printf("no window %s: %s\n", className, title);
    return kCheckFailed;
  }
  if (!WaitUntil([&] { return GetForegroundWindow() == window && IsWindowVisible(window); },
                 timeoutMs)) {
    std::printf("TIMEOUT: %s: %s is not in the foreground\n", className, title);
    return kTimedOut;
  }
  std::printf("in the foreground: %s: %s\n", className, title);
  return kPassed;
}

bool HasState(HWND control, const char* state) {
  if (std::strcmp(state, "enabled") == 0) return IsWindowEnabled(control);
  if (std::strcmp(state, "disabled") == 0) return !IsWindowEnabled(control);
  const bool shown = (GetWindowLongA(control, GWL_STYLE) & WS_VISIBLE) != 0;
  if (std::strcmp(state, "shown") == 0) return shown;
  if (std::strcmp(state, "hidden") == 0) return !shown;
  const LRESULT check = SendMessageA(control, BM_GETCHECK, 0, 0);
  if (std::strcmp(state, "checked") == 0) return check == BST_CHECKED;
  if (std::strcmp(state, "unchecked") == 0) return check == BST_UNCHECKED;
  wchar_t text[4096] = L"";
  GetWindowTextW(control, text, sizeof text / sizeof text[0]);
  return std::wstring(text) == FromCp932(state + 5);  // "text=..."
}

int Control(const char* caption, int id, char** states, int count) {
  HWND wizard = FindWindowW(DialogClass(), FromCp932(caption).c_str());
  HWND control = wizard != nullptr ? GetDlgItem(wizard, id) : nullptr;
  if (control == nullptr) {
    std::printf("no control %d in a wizard \"%s\"\n", id, caption);
    return kCheckFailed;
  }
  int result = kPassed;
  for (int i = 0; i < count; ++i) {
    const char* state = states[i];
    const bool known = std::strncmp(state, "text=", 5) == 0 ||
                       std::strstr(" enabled disabled shown hidden checked unchecked ",
                                   (" " + std::string(state) + " ").c_str()) != nullptr;
    if (!known) return Usage();
    const bool ok = HasState(control, state);
    std::printf("control %d %s: %s\n", id, state, ok ? "yes" : "NO");
    if (!ok) result = kCheckFailed;
  }
  return result;
}

}  // namespace

int main() {
  std::vector<std::string> texts;
  if (!CommandLineArguments(kCodePage932, &texts)) return kUsage;
  const int argc = int(texts.size());
  std::vector<char*> arguments;
  for (std::string& text : texts) arguments.push_back(&text[0]);
  char** argv = arguments.data();
  if (argc < 2) return Usage();
  const std::string verb = argv[1];
  if (verb == "game-window" && argc == 5) return GameWindow(argv[2], argv[3], std::atoi(argv[4]));
  if (verb == "close-window" && argc == 5) return CloseWindow(argv[2], argv[3], std::atoi(argv[4]));
  if (verb == "wait-foreground" && argc == 5) {
    return WaitForeground(argv[2], argv[3], std::atoi(argv[4]));
  }
  if (verb == "control" && argc >= 5)
    return Control(argv[2], std::atoi(argv[3]), argv + 4, argc - 4);
  return Usage();
}
