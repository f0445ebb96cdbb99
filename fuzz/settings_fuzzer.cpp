// Arbitrary bytes as SETUP.INI: through the POSIX INI reader, the list
// tokenizer and ReadInstallDescription. Checks that every answer stays in
// its buffer, ends with its NUL, and that the reader's limits hold.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/platform.h"
#include "core/updater_state.h"
#include "platform/posix/drive_map.h"
#include "platform/posix/posix_functions.h"
#include "settings/install_description.h"
#include "settings/settings_reader.h"

namespace {

#define CHECK(condition)                                                          \
  do {                                                                            \
    if (!(condition)) {                                                           \
      std::fprintf(stderr, "check failed: %s (line %d)\n", #condition, __LINE__); \
      abort();                                                                    \
    }                                                                             \
  } while (0)

std::string hostFile;

int WINAPI_CC NoMessageBox(win::Hwnd, const char* text, const char* caption, win::Uint) {
  CHECK(std::strlen(text) < kLongTextSize);
  CHECK(std::strcmp(caption, "INSTCMMN") == 0);
  return win::kIdOk;
}

void Setup() {
  InstallPosixPlatform();
  platform.MessageBoxA = NoMessageBox;
  char folder[] = "/tmp/settings-fuzz-XXXXXX";
  CHECK(mkdtemp(folder) != nullptr);
  ClearDriveMap();
  SetDriveMapping('C', folder, win::kDriveFixed);
  hostFile = std::string(folder) + "/SETUP.INI";
}

void CheckTerminated(const char* text, size_t size) {
  CHECK(std::memchr(text, 0, size) != nullptr);
}

void CheckState(int result) {
  const UpdaterState& s = updaterState;
  for (const char* field : {s.companyName, s.gameTitle, s.gameDir, s.gameExe, s.uninstExe,
                            s.gameClass, s.saveDataFolderNameInInstall, s.saveDataFolderName,
                            s.strKeyInstPath, s.shortcutFolder, s.uninstTitle, s.gameExe64}) {
    CheckTerminated(field, kPathSize);
  }
  CheckTerminated(s.selectSetupMessage, kLongTextSize);
  for (const auto& bitmap : s.setupBitmaps) CheckTerminated(bitmap, kPathSize);
  for (const auto& selection : s.installSelections) {
    CheckTerminated(selection.title, kPathSize);
    for (const auto& file : selection.files) CheckTerminated(file, kPathSize);
    CHECK(selection.usesDiscs == 0 || selection.usesDiscs == 1);
  }
  for (const auto& shortcut : s.shortcuts) {
    for (const auto& field : shortcut.fields) CheckTerminated(field, kPathSize);
  }
  for (const auto& file : s.diskCheckFiles) CheckTerminated(file, kPathSize);
  for (const auto& app : s.execApp) CheckTerminated(app, kPathSize);
  if (result == 1) {
    CHECK(s.installSelectCount <= kMaxInstallSelections);
    CHECK(s.shortcutCount <= kMaxShortcuts);
    CHECK(s.quietKeys == 1);
    CHECK(s.installAfterAdd == 0 || s.installAfterAdd == 1);
  }
}

// Reads a few keys into buffers of several sizes: the count is the length
// of what was placed, never more than size - 1.
void CheckReader(uint8_t sizeSeed) {
  static const char* const kKeys[] = {"CompanyName", "SetupBmp",     "InstallFiles0",
                                      "Shortcut0",   "InstallSize0", "ExecApp"};
  const unsigned sizes[] = {1, 2, 3, 20, 260, 1u + sizeSeed};
  char buffer[1024];
  for (const char* key : kKeys) {
    for (unsigned size : sizes) {
      std::memset(buffer, 0x55, sizeof buffer);
      win::Dword count =
          platform.GetPrivateProfileStringA("SETUP", key, "", buffer, size, "C:\\SETUP.INI");
      CHECK(count < size);
      CHECK(std::strlen(buffer) == count);
      for (size_t i = count + 1; i < sizeof buffer; ++i) CHECK(uint8_t(buffer[i]) == 0x55);
    }
  }
}

// Splits `text` into slots of `slotSize` bytes until the list ends.
void CheckTokenizer(const char* text, size_t slotSize) {
  char list[kLongTextSize];
  std::strncpy(list, text, sizeof list - 1);
  list[sizeof list - 1] = '\0';
  const std::string original = list;
  char* cursor = list;
  char slot[kLongTextSize + 1];
  int tokens = 0;
  while (NextListToken(slot, slotSize, &cursor)) {
    CHECK(std::strlen(slot) < slotSize);
    CHECK(cursor >= list && cursor <= list + original.size());
    CHECK(++tokens <= kLongTextSize);
  }
  CHECK(original == list);
  CHECK(NextListToken(slot, slotSize, &cursor) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = false;
  if (!ready) {
    Setup();
    ready = true;
  }
  FILE* file = std::fopen(hostFile.c_str(), "wb");
  CHECK(file != nullptr);
  if (size > 0) CHECK(std::fwrite(data, 1, size, file) == size);
  std::fclose(file);

  ResetUpdaterState();
  std::strcpy(updaterState.setupIniPath, "C:\\SETUP.INI");
  updaterState.quietKeys = size > 0 ? data[0] & 1 : 1;
  CheckState(ReadInstallDescription());

  const uint8_t sizeSeed = size > 0 ? data[size - 1] : 0;
  CheckReader(sizeSeed);

  char value[kLongTextSize];
  updaterState.quietKeys = 1;
  if (ReadSetupKey("SetupBmp", value, sizeof value)) {
    CheckTokenizer(value, 1 + sizeSeed % kPathSize);
    CheckTokenizer(value, kPathSize);
  }
  const std::string raw(reinterpret_cast<const char*>(data), size);
  CheckTokenizer(raw.c_str(), 1 + sizeSeed % 8);
  return 0;
}
