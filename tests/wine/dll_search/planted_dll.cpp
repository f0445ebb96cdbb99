// A DLL that a program of the player plants beside the updater under the
// name of a system DLL (the cases copy it as bcrypt.dll and uxtheme.dll).
// It exports nothing; when it is loaded it adds a line, its own path in
// UTF-8, to the file PLANTED.MARK in its folder, so that a case sees whether
// and which of them a process loaded.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  static const wchar_t kMarkName[] = L"PLANTED.MARK";
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return TRUE;

  wchar_t mark[MAX_PATH + sizeof kMarkName / sizeof kMarkName[0]];
  DWORD folderEnd = length;
  while (folderEnd > 0 && path[folderEnd - 1] != L'\\') --folderEnd;
  for (DWORD i = 0; i < folderEnd; ++i) mark[i] = path[i];
  for (DWORD i = 0; i < sizeof kMarkName / sizeof kMarkName[0]; ++i) {
    mark[folderEnd + i] = kMarkName[i];
  }

  char line[4 * MAX_PATH + 1];
  const int size = WideCharToMultiByte(CP_UTF8, 0, path, int(length), line, int(sizeof line) - 1,
                                       nullptr, nullptr);
  line[size] = '\n';
  const HANDLE file = CreateFileW(mark, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return TRUE;
  DWORD written = 0;
  WriteFile(file, line, DWORD(size) + 1, &written, nullptr);
  CloseHandle(file);
  return TRUE;
}
