#include "entry/updater_main.h"

#include <cstring>

#include "archive/archive_directory.h"
#include "archive/extract_entry.h"
#include "core/archive_digest.h"
#include "core/file_helpers.h"
#include "core/join_path.h"
#include "core/platform.h"
#include "core/show_error.h"
#include "core/system_functions.h"
#include "core/updater_state.h"
#include "entry/launch.h"
#include "texts.h"

namespace {
// Keeps the bytes of UPDATE.INI that the archive holds, which every key is
// read from; false after a message when they cannot be had.
bool KeepUpdateIniText() {
  uint32_t size = 0;
  bool owned = false;
  uint8_t* content = ReadEntry("UPDATE.INI", &size, &owned);
  if (content == nullptr) return false;
  auto* copy = static_cast<char*>(platform.GlobalAlloc(win::kGmemFixed, size_t(size) + 1));
  if (copy != nullptr) std::memcpy(copy, content, size);
  if (owned) platform.GlobalFree(content);
  if (copy == nullptr) {
    ShowError(kMsgCantAllocate);
    return false;
  }
  updaterState.updateIniText = copy;
  updaterState.updateIniSize = size;
  return true;
}

int EndRun(int code, const char* message) {
  if (message != nullptr) ShowError(message);
  Shutdown();
  return code;
}
}  // namespace

void Shutdown() {
  if (updaterState.archiveDirectory != nullptr) {
    CloseArchive(updaterState.archiveDirectory);
    updaterState.archiveDirectory = nullptr;
    updaterState.archiveEntries = nullptr;
  }
  if (updaterState.updateIniText != nullptr) {
    platform.GlobalFree(updaterState.updateIniText);
    updaterState.updateIniText = nullptr;
    updaterState.updateIniSize = 0;
  }
  RemoveFile(updaterState.updateIniPath);
}

int RunUpdater(win::Hmodule instance) {
  const ModuleLoader loader = PlatformLoader();
  if (!ResolveSystemFunctions(loader)) return EndRun(0, kMsgCouldNotMapFunctions);

  platform.CoInitialize(nullptr);
  updaterState.instanceHandle = instance;

  updaterState.archiveImage = LockArchiveResource(loader);
  if (updaterState.archiveImage == nullptr) return EndRun(0, nullptr);
  // A damaged or altered download is refused before anything is read from it.
  if (CheckArchiveDigest(loader, updaterState.archiveImage, updaterState.archiveImageSize) ==
      ArchiveDigestCheck::kDamaged) {
    return EndRun(0, kMsgUpdaterDamaged);
  }

  updaterState.archiveDirectory = OpenArchive();
  if (updaterState.archiveDirectory == nullptr) return EndRun(0, kMsgResourceReadError);
  updaterState.archiveEntries = updaterState.archiveDirectory->entries;

  platform.GetTempPathA(kPathSize, updaterState.updateIniPath);
  if (!JoinPath(updaterState.updateIniPath, kPathSize, "UPDATE.INI")) {
    // A temp folder too long for the name: nothing is written or deleted there.
    updaterState.updateIniPath[0] = '\0';
    return EndRun(0, nullptr);
  }
  // Starts killed while they wrote UPDATE.INI left their temporary files.
  RemoveTemporaryLeftovers(updaterState.updateIniPath);
  if (!ExtractEntry("UPDATE.INI", updaterState.updateIniPath, 0) || !KeepUpdateIniText()) {
    return EndRun(0, nullptr);
  }

  return EndRun(DiscoverAndLaunch(), nullptr);
}
