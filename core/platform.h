// The platform operations that the logic calls directly (as opposed to the
// functions of the SystemFunctionTable, which are resolved by name).
//
// Each entry has the binary signature of the Win32 function it is named after
// and keeps that function's contract. The Windows layer fills the table with
// the real functions, the POSIX layer with implementations over a drive map;
// tests replace single entries to inject faults.
#pragma once

#include "core/win_types.h"

struct PlatformOperations {
  // Loading
  win::Hmodule(WINAPI_CC* LoadLibraryA)(const char* name);
  void*(WINAPI_CC* GetProcAddress)(win::Hmodule module, const char* name);

  // Memory (fixed blocks)
  void*(WINAPI_CC* GlobalAlloc)(win::Uint flags, size_t bytes);
  void*(WINAPI_CC* GlobalFree)(void* block);

  // Text in the ANSI code page (932)
  char*(WINAPI_CC* CharNextA)(const char* text);
  win::Bool(WINAPI_CC* IsDBCSLeadByte)(uint8_t byte);
  int(WINAPI_CC* lstrcmpiA)(const char* a, const char* b);
  int(WINAPI_CC* wvsprintfA)(char* out, const char* format, va_list arguments);

  // Files, folders and drives
  win::Dword(WINAPI_CC* GetTempPathA)(win::Dword size, char* buffer);
  win::Bool(WINAPI_CC* DeleteFileA)(const char* path);
  win::Bool(WINAPI_CC* GetDiskFreeSpaceExA)(const char* directory, uint64_t* freeToCaller,
                                            uint64_t* totalBytes, uint64_t* totalFree);
  win::Uint(WINAPI_CC* GetDriveTypeA)(const char* root);
  win::Bool(WINAPI_CC* CreateDirectoryA)(const char* path, void* security);
  win::Bool(WINAPI_CC* GetFileTime)(win::Handle file, win::FileTime* creation,
                                    win::FileTime* lastAccess, win::FileTime* lastWrite);
  win::Bool(WINAPI_CC* SetFileTime)(win::Handle file, const win::FileTime* creation,
                                    const win::FileTime* lastAccess,
                                    const win::FileTime* lastWrite);
  win::Bool(WINAPI_CC* MoveFileExA)(const char* from, const char* to, win::Dword flags);
  win::Bool(WINAPI_CC* FlushFileBuffers)(win::Handle file);
  win::Bool(WINAPI_CC* RemoveDirectoryA)(const char* path);

  // Settings files
  win::Dword(WINAPI_CC* GetPrivateProfileStringA)(const char* section, const char* key,
                                                  const char* defaultValue, char* out,
                                                  win::Dword size, const char* file);

  // COM
  win::Long(WINAPI_CC* CoInitialize)(void* reserved);

  // Desktop: message boxes, windows, dialogs and cursors
  int(WINAPI_CC* MessageBoxA)(win::Hwnd owner, const char* text, const char* caption,
                              win::Uint type);
  win::Hwnd(WINAPI_CC* FindWindowA)(const char* className, const char* title);
  win::Bool(WINAPI_CC* ShowWindow)(win::Hwnd window, int command);
  win::Bool(WINAPI_CC* SetForegroundWindow)(win::Hwnd window);
  win::IntPtr(WINAPI_CC* DialogBoxParamA)(win::Hmodule instance, const char* templateName,
                                          win::Hwnd owner, win::DialogProc procedure,
                                          win::LParam parameter);
  win::Bool(WINAPI_CC* EndDialog)(win::Hwnd dialog, win::IntPtr result);
  win::Bool(WINAPI_CC* SetWindowTextA)(win::Hwnd window, const char* text);
  win::Bool(WINAPI_CC* SetDlgItemTextA)(win::Hwnd dialog, int id, const char* text);
  win::Hwnd(WINAPI_CC* GetDlgItem)(win::Hwnd dialog, int id);
  win::Bool(WINAPI_CC* EnableWindow)(win::Hwnd window, win::Bool enable);
  win::Hwnd(WINAPI_CC* SetFocus)(win::Hwnd window);
  win::Bool(WINAPI_CC* CheckRadioButton)(win::Hwnd dialog, int first, int last, int check);
  win::Hcursor(WINAPI_CC* SetCursor)(win::Hcursor cursor);
  win::Hcursor(WINAPI_CC* LoadCursorA)(win::Hmodule instance, const char* name);
};

extern PlatformOperations platform;

// The loader entries of `platform`, as ResolveSystemFunctions takes them.
struct ModuleLoader;
ModuleLoader PlatformLoader();
