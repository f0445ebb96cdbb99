// Platform entries that the Windows layer provides itself instead of the
// Win32 function of the same name. Each has the SDK's signature, so the
// binding checks it as it checks a Win32 function.
//
// The updater's texts are code page 932 bytes. The ANSI functions would read
// them in the system's code page (1252 on an English Windows, 936 on a
// Chinese one) and show garbage, so the texts a player reads are converted
// from code page 932 explicitly and shown through the Unicode functions; the
// settings files are read byte for byte with the updater's own INI reader.
// On a Japanese system (code page 932) the result is the same as the ANSI
// functions give.
//
// The libraries that the logic loads by name come from the system folder
// only, never from the updater's own folder.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace windows_layer {

// A library by its file name, from the system folder only (dll_search.cpp).
HMODULE WINAPI LoadLibraryA(LPCSTR name);

// Message boxes, the wizard dialog and its texts (cp932_desktop.cpp).
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
BOOL WINAPI SetWindowTextA(HWND window, LPCSTR text);
BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
// A Unicode dialog: its controls keep the template's UTF-16 texts and take
// the texts set above unchanged.
INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner,
                               DLGPROC procedure, LPARAM parameter);
// A dialog-class window (an updater's wizard) is searched by its caption in
// code page 932; any other window (the game's) by the ANSI function, as the
// game named it.
HWND WINAPI FindWindowA(LPCSTR className, LPCSTR title);

// UPDATE.INI and SETUP.INI read as code page 932 on every system
// (cp932_profile.cpp).
DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR out,
                                      DWORD size, LPCSTR file);

}  // namespace windows_layer
