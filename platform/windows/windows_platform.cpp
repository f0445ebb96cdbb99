// Fills the platform table with the real Win32 functions.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "core/platform.h"
#include "core/system_functions.h"
#include "platform/windows/win32_binding.h"
#include "platform/windows/windows_platform.h"

PlatformOperations platform;

ModuleLoader PlatformLoader() {
  return ModuleLoader{platform.LoadLibraryA, platform.GetProcAddress};
}

namespace {

// GetProcAddress returns FARPROC; the table takes a plain pointer.
void* WINAPI_CC LookupProcedure(win::Hmodule module, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

}  // namespace

void InstallWindowsPlatform() {
  PlatformOperations& t = platform;
  Bind(t.LoadLibraryA, &::LoadLibraryA);
  t.GetProcAddress = LookupProcedure;
  Bind(t.GlobalAlloc, &::GlobalAlloc);
  Bind(t.GlobalFree, &::GlobalFree);
  Bind(t.CharNextA, &::CharNextA);
  Bind(t.IsDBCSLeadByte, &::IsDBCSLeadByte);
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
  Bind(t.FlushFileBuffers, &::FlushFileBuffers);
  Bind(t.RemoveDirectoryA, &::RemoveDirectoryA);
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
