// Entry of the Windows build.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "entry/updater_main.h"
#include "platform/windows/windows_platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  InstallWindowsPlatform();
  return RunUpdater(instance);
}
