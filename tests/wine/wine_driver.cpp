// Drives the updater's windows from beside it, in the same Wine prefix:
// waits for message boxes and the wizard, prints their texts, presses their
// buttons and checks files. A test script passes a sequence of verbs on the
// command line; they run in order and the first that fails ends the run.
//
// Texts are read from the windows with the Unicode functions, so that they
// come out the same in every locale; arguments are read as UTF-16 and texts
// are printed and compared in UTF-8. Every wait has a timeout in
// milliseconds.
//
// Exit status: 0 every verb passed, 1 a check failed, 2 a wait timed out,
// 3 bad usage.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/wine/driver_support.h"

namespace {

constexpr int kWizardInfoLine = 1001;
constexpr UINT kTextTimeoutMs = 2000;

const char kDialogClass[] = "#32770";

void Say(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::vprintf(format, arguments);
  va_end(arguments);
  std::printf("\n");
  std::fflush(stdout);
}

std::string Utf8(const wchar_t* wide) { return Narrow(wide, CP_UTF8); }
std::wstring Wide(const std::string& utf8) { return Widen(utf8.c_str(), CP_UTF8); }

std::string ClassOf(HWND window) {
  char name[256] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

// A window's text, asked for with a timeout so that a hung window cannot
// hang the driver.
std::string TextOf(HWND window) {
  wchar_t text[4096] = L"";
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, sizeof text / sizeof text[0],
                           reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, kTextTimeoutMs,
                           &length)) {
    GetWindowTextW(window, text, sizeof text / sizeof text[0]);
  }
  text[sizeof text / sizeof text[0] - 1] = L'\0';
  return Utf8(text);
}

BOOL CALLBACK Collect(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> windows;
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::vector<HWND> ChildWindows(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(parent, Collect, reinterpret_cast<LPARAM>(&children));
  return children;
}

// A message box: a visible dialog window without the wizard's info line.
HWND FindMessageBox() {
  for (HWND window : TopLevelWindows()) {
    if (IsWindowVisible(window) && ClassOf(window) == kDialogClass &&
        GetDlgItem(window, kWizardInfoLine) == nullptr) {
      return window;
    }
  }
  return nullptr;
}

// The wizard: a top-level window of the dialog class (atom 0x8002) with
// this caption (UTF-8).
HWND FindWizardByCaption(const char* caption) {
  return FindWindowW(DialogClass(), Wide(caption).c_str());
}

// The window that `find()` gives once it gives one; null after `timeoutMs`.
template <typename Find>
HWND WaitFor(Find find, DWORD timeoutMs) {
  HWND window = nullptr;
  WaitUntil([&] { return (window = find()) != nullptr; }, timeoutMs);
  return window;
}

// The wizard once it has settled: visible, and its caption reads back as
// it was found by (a window just made can be found before it is shown or
// while its caption is being set).
HWND SettledWizard(const char* caption) {
  HWND wizard = FindWizardByCaption(caption);
  return wizard != nullptr && IsWindowVisible(wizard) && TextOf(wizard) == caption ? wizard
                                                                                   : nullptr;
}

// The settled wizard, waited for up to 5 s.
HWND FindWizard(const char* caption) {
  return WaitFor([&] { return SettledWizard(caption); }, 5000);
}

bool WaitGone(HWND window, DWORD timeoutMs) {
  return WaitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); }, timeoutMs);
}

// The open message box; null, and said so, when none is open.
HWND OpenBox() {
  HWND box = FindMessageBox();
  if (box == nullptr) Say("no message box is open");
  return box;
}

// Prints a dialog's caption and each control's id, class and text.
void PrintDialog(const char* kind, HWND dialog) {
  Say("%s caption: %s", kind, TextOf(dialog).c_str());
  for (HWND child : ChildWindows(dialog)) {
    const std::string text = TextOf(child);
    const std::string className = ClassOf(child);
    if (text.empty() && className == "Static") continue;  // the icon
    Say("%s control %d %s%s: %s", kind, GetDlgCtrlID(child), className.c_str(),
        IsWindowEnabled(child) ? "" : " (disabled)", text.c_str());
  }
}

// The texts of a message box's static controls, one line each.
std::string BoxText(HWND box) {
  std::string text;
  for (HWND child : ChildWindows(box)) {
    if (ClassOf(child) != "Static") continue;
    const std::string line = TextOf(child);
    if (line.empty()) continue;
    if (!text.empty()) text += "\n";
    text += line;
  }
  return text;
}

void Press(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool FileExists(const std::string& path) {
  return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string TempFolder() {
  wchar_t path[MAX_PATH + 1] = L"";
  GetTempPathW(MAX_PATH + 1, path);
  return Utf8(path);
}

DWORD Milliseconds(const char* text) { return DWORD(std::strtoul(text, nullptr, 10)); }

int ExpectPresence(const std::string& path, const char* expectation) {
  const bool exists = FileExists(path);
  if (std::strcmp(expectation, "exists") == 0) {
    Say("%s %s", path.c_str(), exists ? "exists" : "is MISSING");
    return exists ? kPassed : kCheckFailed;
  }
  if (std::strcmp(expectation, "absent") == 0) {
    Say("%s %s", path.c_str(), exists ? "is STILL THERE" : "is absent");
    return exists ? kCheckFailed : kPassed;
  }
  Say("usage: expected exists or absent, not %s", expectation);
  return kUsage;
}

int CompareText(const char* what, const std::string& actual, const char* expected) {
  if (actual == expected) return kPassed;
  Say("%s differs: expected \"%s\", got \"%s\"", what, expected, actual.c_str());
  return kCheckFailed;
}

// Saves what the screen shows of `window` (its frame included) as a 24-bit
// BMP file: a picture of one window, whatever else is on the display.
int CaptureWindow(HWND window, const char* path) {
  RECT r;
  if (window == nullptr || !GetWindowRect(window, &r) || r.right <= r.left || r.bottom <= r.top) {
    Say("no window to capture");
    return kCheckFailed;
  }
  const int width = r.right - r.left, height = r.bottom - r.top;
  const int stride = (width * 3 + 3) & ~3;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as BMP files keep rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<unsigned char> pixels(size_t(stride) * height);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  const bool copied = BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY) &&
                      GetDIBits(memory, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!copied) {
    Say("reading the screen failed");
    return kCheckFailed;
  }
  BITMAPFILEHEADER header = {};
  header.bfType = 0x4D42;  // "BM"
  header.bfOffBits = sizeof header + sizeof info.bmiHeader;
  header.bfSize = DWORD(header.bfOffBits + pixels.size());
  FILE* file = _wfopen(Wide(path).c_str(), L"wb");
  const bool written = file != nullptr && std::fwrite(&header, sizeof header, 1, file) == 1 &&
                       std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, file) == 1 &&
                       std::fwrite(pixels.data(), 1, pixels.size(), file) == pixels.size();
  if (file != nullptr && std::fclose(file) != 0) return kCheckFailed;
  if (!written) {
    Say("cannot write %s", path);
    return kCheckFailed;
  }
  Say("captured %dx%d to %s", width, height, path);
  return kPassed;
}

struct Verb {
  const char* name;
  int argumentCount;
  const char* usage;
  int (*run)(char** arguments);
};

const Verb kVerbs[] = {
    {"expect-acp", 1, "expect-acp CODEPAGE: the ANSI code page is CODEPAGE",
     [](char** a) {
       const UINT acp = GetACP();
       Say("ANSI code page %u", acp);
       return acp == std::strtoul(a[0], nullptr, 10) ? kPassed : kCheckFailed;
     }},
    {"list", 0, "list: print the visible top-level windows",
     [](char**) {
       for (HWND window : TopLevelWindows()) {
         if (!IsWindowVisible(window)) continue;
         Say("window %s: %s", ClassOf(window).c_str(), TextOf(window).c_str());
       }
       return kPassed;
     }},
    {"wait-box", 1, "wait-box MS: wait for a message box and print it",
     [](char** a) {
       HWND box = WaitFor(FindMessageBox, Milliseconds(a[0]));
       if (box == nullptr) {
         Say("TIMEOUT: no message box within %s ms", a[0]);
         return kTimedOut;
       }
       PrintDialog("box", box);
       return kPassed;
     }},
    {"expect-box-caption", 1, "expect-box-caption TEXT: the open box has this caption",
     [](char** a) {
       HWND box = OpenBox();
       if (box == nullptr) return kCheckFailed;
       return CompareText("box caption", TextOf(box), a[0]);
     }},
    {"expect-box-text", 1, "expect-box-text TEXT: the open box shows this text",
     [](char** a) {
       HWND box = OpenBox();
       if (box == nullptr) return kCheckFailed;
       return CompareText("box text", BoxText(box), a[0]);
     }},
    {"answer-box", 2, "answer-box ok|cancel MS: press the box's button and wait until it closes",
     [](char** a) {
       const int id = std::strcmp(a[0], "ok") == 0       ? IDOK
                      : std::strcmp(a[0], "cancel") == 0 ? IDCANCEL
                                                         : 0;
       if (id == 0) {
         Say("usage: answer-box takes ok or cancel, not %s", a[0]);
         return kUsage;
       }
       HWND box = OpenBox();
       if (box == nullptr) return kCheckFailed;
       Press(box, id);
       if (!WaitGone(box, Milliseconds(a[1]))) {
         Say("TIMEOUT: the box stayed open %s ms after %s", a[1], a[0]);
         return kTimedOut;
       }
       Say("answered %s", a[0]);
       return kPassed;
     }},
    {"wait-box-gone", 1, "wait-box-gone MS: wait until no message box is open",
     [](char** a) {
       HWND box = FindMessageBox();
       if (box != nullptr && !WaitGone(box, Milliseconds(a[0]))) {
         Say("TIMEOUT: a message box stayed open %s ms", a[0]);
         return kTimedOut;
       }
       return kPassed;
     }},
    {"wait-wizard", 2, "wait-wizard CAPTION MS: wait for the wizard and print it",
     [](char** a) {
       HWND wizard = WaitFor([&] { return SettledWizard(a[0]); }, Milliseconds(a[1]));
       if (wizard == nullptr) {
         Say("TIMEOUT: no wizard \"%s\" within %s ms", a[0], a[1]);
         return kTimedOut;
       }
       PrintDialog("wizard", wizard);
       return kPassed;
     }},
    {"wait-control-text", 4,
     "wait-control-text CAPTION ID TEXT MS: wait until the wizard's control ID shows TEXT",
     [](char** a) {
       HWND wizard = FindWizard(a[0]);
       HWND control = wizard != nullptr ? GetDlgItem(wizard, std::atoi(a[1])) : nullptr;
       if (control == nullptr) {
         Say("no wizard \"%s\" with a control %s", a[0], a[1]);
         return kCheckFailed;
       }
       const std::string expected = a[2];
       if (WaitFor([&] { return TextOf(control) == expected ? control : nullptr; },
                   Milliseconds(a[3])) != nullptr) {
         Say("control %s: %s", a[1], expected.c_str());
         return kPassed;
       }
       Say("TIMEOUT: control %s still shows \"%s\", not \"%s\", after %s ms", a[1],
           TextOf(control).c_str(), a[2], a[3]);
       return kTimedOut;
     }},
    {"expect-control-file", 3,
     "expect-control-file CAPTION ID FILE: the wizard's control ID shows FILE's UTF-8 text "
     "(line ends compared without carriage returns)",
     [](char** a) {
       HWND wizard = FindWizard(a[0]);
       HWND control = wizard != nullptr ? GetDlgItem(wizard, std::atoi(a[1])) : nullptr;
       if (control == nullptr) {
         Say("no wizard \"%s\" with a control %s", a[0], a[1]);
         return kCheckFailed;
       }
       FILE* file = _wfopen(Wide(a[2]).c_str(), L"rb");
       if (file == nullptr) {
         Say("cannot read %s", a[2]);
         return kUsage;
       }
       std::string expected;
       for (int c; (c = std::fgetc(file)) != EOF;) expected += char(c);
       std::fclose(file);
       auto withoutReturns = [](std::string text) {
         text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
         return text;
       };
       const int result = CompareText("control text", withoutReturns(TextOf(control)),
                                      withoutReturns(expected).c_str());
       if (result == kPassed) Say("control %s shows the text of %s", a[1], a[2]);
       return result;
     }},
    {"click", 2, "click CAPTION ID: press the wizard's control ID",
     [](char** a) {
       HWND wizard = FindWizard(a[0]);
       if (wizard == nullptr) {
         Say("no wizard \"%s\"", a[0]);
         return kCheckFailed;
       }
       Press(wizard, std::atoi(a[1]));
       Say("clicked %s", a[1]);
       return kPassed;
     }},
    {"wait-gone", 2, "wait-gone CAPTION MS: wait until the wizard has closed",
     [](char** a) {
       HWND wizard = FindWizardByCaption(a[0]);
       if (wizard != nullptr && !WaitGone(wizard, Milliseconds(a[1]))) {
         Say("TIMEOUT: the wizard \"%s\" stayed open %s ms", a[0], a[1]);
         return kTimedOut;
       }
       return kPassed;
     }},
    {"temp-file", 2, "temp-file NAME exists|absent: a file in the temp folder",
     [](char** a) { return ExpectPresence(TempFolder() + a[0], a[1]); }},
    {"file", 2, "file PATH exists|absent", [](char** a) { return ExpectPresence(a[0], a[1]); }},
    {"capture-wizard", 2, "capture-wizard CAPTION PATH: save the wizard's picture as a BMP file",
     [](char** a) { return CaptureWindow(FindWizard(a[0]), a[1]); }},
    {"capture-box", 1, "capture-box PATH: save the open message box's picture as a BMP file",
     [](char** a) { return CaptureWindow(FindMessageBox(), a[0]); }},
    {"sleep", 1, "sleep MS",
     [](char** a) {
       Sleep(Milliseconds(a[0]));
       return kPassed;
     }},
};

int Usage() {
  std::printf("usage: wine_driver VERB [ARGUMENTS] [VERB [ARGUMENTS] ...]\n");
  for (const Verb& verb : kVerbs) std::printf("  %s\n", verb.usage);
  return kUsage;
}

}  // namespace

int main() {
  // The arguments as UTF-16, whatever the ANSI code page, kept as UTF-8.
  std::vector<std::string> texts;
  if (!CommandLineArguments(CP_UTF8, &texts)) return kUsage;
  const int argc = int(texts.size());
  std::vector<char*> argv;
  for (std::string& text : texts) argv.push_back(&text[0]);
  if (argc < 2) return Usage();
  for (int i = 1; i < argc;) {
    const Verb* verb = nullptr;
    for (const Verb& v : kVerbs) {
      if (std::strcmp(v.name, argv[i]) == 0) verb = &v;
    }
    if (verb == nullptr) {
      std::printf("unknown verb %s\n", argv[i]);
      return Usage();
    }
    if (i + verb->argumentCount >= argc) {
      std::printf("%s takes %d arguments\n", verb->name, verb->argumentCount);
      return Usage();
    }
    const int result = verb->run(argv.data() + i + 1);
    if (result != kPassed) return result;
    i += 1 + verb->argumentCount;
  }
  return kPassed;
}
