// Opens arbitrary images as the updater's archive and reads every entry:
// directory parsing, unscrambling and decompression of entries and of the
// directory, with every message box answered silently.
#include <cstdint>

#include "archive/archive_directory.h"
#include "core/platform.h"
#include "core/updater_state.h"
#include "platform/posix/posix_functions.h"

namespace {

int WINAPI_CC SilentMessageBox(win::Hwnd, const char*, const char*, win::Uint) {
  return win::kIdOk;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InstallPosixPlatform();
  platform.MessageBoxA = SilentMessageBox;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > UINT32_MAX) return 0;
  ResetUpdaterState();
  updaterState.archiveImage = data;
  updaterState.archiveImageSize = uint32_t(size);
  ArchiveDirectory* directory = OpenArchive();
  if (directory == nullptr) return 0;
  updaterState.archiveDirectory = directory;
  updaterState.archiveEntries = directory->entries;

  for (uint32_t i = 0; i < directory->header.entryCount; ++i) {
    uint32_t contentSize = 0;
    bool owned = false;
    uint8_t* content = ReadEntry(directory->entries[i].name, &contentSize, &owned);
    if (content == nullptr) continue;
    // Touch the whole content so a short block shows as an overrun.
    volatile uint8_t sum = 0;
    for (uint32_t j = 0; j < contentSize; ++j) sum = uint8_t(sum + content[j]);
    if (owned) platform.GlobalFree(content);
  }

  CloseArchive(directory);
  ResetUpdaterState();
  return 0;
}
