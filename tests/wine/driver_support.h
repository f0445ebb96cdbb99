// What the Wine test programs that work other programs' windows share: their
// exit codes, waiting with a timeout, finding the wizard, texts between
// UTF-16 and a code page, and the command line as UTF-16 read whatever the
// ANSI code page is.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

// Exit codes of the drivers and probes, as the case scripts read them.
constexpr int kPassed = 0;
constexpr int kCheckFailed = 1;
constexpr int kTimedOut = 2;
constexpr int kUsage = 3;

// How often a wait looks again.
constexpr DWORD kPollMs = 50;

// Waits until `test()` holds, looking every kPollMs; false when
// `timeoutMs` passed first.
template <typename Test>
bool WaitUntil(Test test, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!test()) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(kPollMs);
  }
  return true;
}

// The dialog class of the wizard and the message boxes (atom 0x8002, that
// is "#32770").
inline LPCWSTR DialogClass() { return reinterpret_cast<LPCWSTR>(MAKEINTATOM(0x8002)); }

inline std::string Narrow(const wchar_t* wide, UINT codePage) {
  const int length = WideCharToMultiByte(codePage, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return std::string();
  std::string text(size_t(length), '\0');
  WideCharToMultiByte(codePage, 0, wide, -1, &text[0], length, nullptr, nullptr);
  text.resize(size_t(length - 1));
  return text;
}

inline std::wstring Widen(const char* text, UINT codePage) {
  const int length = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
  if (length <= 1) return std::wstring();
  std::wstring wide(size_t(length), L'\0');
  MultiByteToWideChar(codePage, 0, text, -1, &wide[0], length);
  wide.resize(size_t(length - 1));
  return wide;
}

// The program's arguments, program name first, each in `codePage`; false
// when the command line cannot be split.
inline bool CommandLineArguments(UINT codePage, std::vector<std::string>* arguments) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return false;
  arguments->clear();
  for (int i = 0; i < count; ++i) arguments->push_back(Narrow(wide[i], codePage));
  LocalFree(wide);
  return true;
}
