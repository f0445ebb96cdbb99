// Fills the platform table with the real Win32 functions.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstddef>

#include "core/platform.h"
#include "core/system_functions.h"
#include "platform/windows/windows_platform.h"

// The portable mirror of SHFILEOPSTRUCTA must match the SDK's layout.
static_assert(sizeof(win::ShFileOp) == sizeof(SHFILEOPSTRUCTA), "SHFILEOPSTRUCTA size");
static_assert(offsetof(win::ShFileOp, fFlags) == offsetof(SHFILEOPSTRUCTA, fFlags),
              "SHFILEOPSTRUCTA.fFlags");
static_assert(offsetof(win::ShFileOp, fAnyOperationsAborted) ==
                  offsetof(SHFILEOPSTRUCTA, fAnyOperationsAborted),
              "SHFILEOPSTRUCTA.fAnyOperationsAborted");
static_assert(offsetof(win::ShFileOp, lpszProgressTitle) ==
                  offsetof(SHFILEOPSTRUCTA, lpszProgressTitle),
              "SHFILEOPSTRUCTA.lpszProgressTitle");
static_assert(sizeof(win::FileTime) == sizeof(FILETIME), "FILETIME");
static_assert(sizeof(win::Dword) == sizeof(DWORD) && sizeof(win::Long) == sizeof(LONG),
              "DWORD and LONG are 32 bits");

PlatformOperations platform;

ModuleLoader PlatformLoader() {
  return ModuleLoader{platform.LoadLibraryA, platform.GetProcAddress};
}

namespace {

// The table's entries have the Win32 signatures with portable spellings of
// the same types (uint32_t for DWORD and so on), so the addresses are taken
// as they are.
template <typename Entry, typename Function>
void Bind(Entry& entry, Function* function) {
  entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(function));
}

// GetProcAddress returns FARPROC; the table takes a plain pointer.
void* WINAPI_CC LookupProcedure(win::Hmodule module, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

win::Bool WINAPI_CC IsLeadByte(uint8_t byte) { return ::IsDBCSLeadByte(byte); }

}  // namespace

void InstallWindowsPlatform() {
  PlatformOperations& t = platform;
  Bind(t.LoadLibraryA, &::LoadLibraryA);
  t.GetProcAddress = LookupProcedure;
  Bind(t.GlobalAlloc, &::GlobalAlloc);
  Bind(t.GlobalFree, &::GlobalFree);
  Bind(t.CharNextA, &::CharNextA);
  t.IsDBCSLeadByte = IsLeadByte;
  Bind(t.lstrcmpiA, &::lstrcmpiA);
  Bind(t.wvsprintfA, &::wvsprintfA);
  Bind(t.GetTempPathA, &::GetTempPathA);
  Bind(t.DeleteFileA, &::DeleteFileA);
  Bind(t.GetDiskFreeSpaceExA, &::GetDiskFreeSpaceExA);
  Bind(t.GetDriveTypeA, &::GetDriveTypeA);
  Bind(t.CreateDirectoryA, &::CreateDirectoryA);
  Bind(t.GetFileTime, &::GetFileTime);
  Bind(t.SetFileTime, &::SetFileTime);
  Bind(t.MoveFileExA, &::MoveFileExA);
  Bind(t.GetPrivateProfileStringA, &::GetPrivateProfileStringA);
  Bind(t.CoInitialize, &::CoInitialize);
  Bind(t.MessageBoxA, &::MessageBoxA);
  Bind(t.FindWindowA, &::FindWindowA);
  Bind(t.ShowWindow, &::ShowWindow);
  Bind(t.SetForegroundWindow, &::SetForegroundWindow);
  Bind(t.DialogBoxParamA, &::DialogBoxParamA);
  Bind(t.EndDialog, &::EndDialog);
  Bind(t.SetWindowTextA, &::SetWindowTextA);
  Bind(t.SetDlgItemTextA, &::SetDlgItemTextA);
  Bind(t.GetDlgItem, &::GetDlgItem);
  Bind(t.EnableWindow, &::EnableWindow);
  Bind(t.SetFocus, &::SetFocus);
  Bind(t.CheckRadioButton, &::CheckRadioButton);
  Bind(t.SetCursor, &::SetCursor);
  Bind(t.LoadCursorA, &::LoadCursorA);
}
