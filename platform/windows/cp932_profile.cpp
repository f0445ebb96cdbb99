// GetPrivateProfileStringA of layer_functions.h: the settings file's bytes
// answered by the updater's INI reader, so that code page 932 values reach
// the updater unchanged whatever the system's code page.
#include <string>
#include <string_view>

#include "platform/windows/layer_functions.h"
#include "settings/ini_file.h"

namespace {

// The whole file; false when it cannot be opened or read.
bool ReadWholeFile(LPCSTR path, std::string* text) {
  if (path == nullptr) return false;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  char chunk[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, chunk, sizeof chunk, &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    text->append(chunk, got);
  }
  CloseHandle(file);
  return ok;
}

}  // namespace

namespace windows_layer {

DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR out,
                                      DWORD size, LPCSTR file) {
  std::string text;
  const bool read = section != nullptr && key != nullptr && ReadWholeFile(file, &text);
  const std::string_view view = text;
  return AnswerProfileQuery(read ? &view : nullptr, section, key, defaultValue, out, size);
}

}  // namespace windows_layer
