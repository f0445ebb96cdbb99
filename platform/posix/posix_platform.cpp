// Fills the platform table with the POSIX implementations.
#include <cstdlib>

#include "core/platform.h"
#include "core/system_functions.h"
#include "platform/posix/drive_map.h"
#include "platform/posix/posix_functions.h"

PlatformOperations platform;

ModuleLoader PlatformLoader() { return ModuleLoader{platform.LoadLibraryA, platform.GetProcAddress}; }

namespace {

void* WINAPI_CC PosixGlobalAlloc(win::Uint flags, size_t bytes) {
  if (bytes == 0) bytes = 1;
  return (flags & win::kGmemZeroinit) ? std::calloc(1, bytes) : std::malloc(bytes);
}

void* WINAPI_CC PosixGlobalFree(void* block) {
  std::free(block);
  return nullptr;
}

// COM has nothing to initialise here.
win::Long WINAPI_CC PosixCoInitialize(void*) { return 0; }

}  // namespace

void InstallPosixPlatform() {
  PlatformOperations& t = platform;
  t.LoadLibraryA = PosixLoadLibraryA;
  t.GetProcAddress = PosixGetProcAddress;
  t.GlobalAlloc = PosixGlobalAlloc;
  t.GlobalFree = PosixGlobalFree;
  t.CharNextA = PosixCharNextA;
  t.IsDBCSLeadByte = PosixIsDBCSLeadByte;
  t.lstrcmpiA = PosixLstrcmpiA;
  t.wvsprintfA = PosixWvsprintfA;
  t.GetTempPathA = PosixGetTempPathA;
  t.DeleteFileA = PosixDeleteFileA;
  t.GetDiskFreeSpaceExA = PosixGetDiskFreeSpaceExA;
  t.GetDriveTypeA = PosixGetDriveTypeA;
  t.CreateDirectoryA = PosixCreateDirectoryA;
  t.GetFileTime = PosixGetFileTime;
  t.SetFileTime = PosixSetFileTime;
  t.MoveFileExA = PosixMoveFileExA;
  t.FlushFileBuffers = PosixFlushFileBuffers;
  t.RemoveDirectoryA = PosixRemoveDirectoryA;
  t.GetPrivateProfileStringA = PosixGetPrivateProfileStringA;
  t.CoInitialize = PosixCoInitialize;
  InstallPosixDesktop(t);
  LoadDriveMapFromEnvironment();
}
