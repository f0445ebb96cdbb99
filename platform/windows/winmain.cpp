// Entry of the Windows build.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "entry/updater_main.h"
#include "platform/windows/dll_search.h"
#include "platform/windows/windows_platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Before anything can load a DLL: none from the updater's own folder.
  windows_layer::RestrictDllSearchToSystemFolder();
  InstallWindowsPlatform();
  return RunUpdater(instance);
}
