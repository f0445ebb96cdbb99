#include "settings/settings_reader.h"

#include <cstring>
#include <string_view>

#include "core/platform.h"
#include "core/text_format.h"
#include "core/updater_state.h"
#include "settings/ini_file.h"
#include "texts.h"

namespace {

constexpr char kSetupSection[] = "SETUP";

// Reads a value into `buffer` (all zero first); true when it has characters.
bool ReadValue(const char* file, const char* section, const char* key, char* buffer, int size) {
  if (size <= 0) return false;
  std::memset(buffer, 0, size_t(size));
  return platform.GetPrivateProfileStringA(section, key, "", buffer, win::Dword(size), file) > 0;
}

// The same for UPDATE.INI, answered from the archive's bytes in memory by
// the reader that answers GetPrivateProfileStringA.
bool ReadUpdateIniValue(const char* section, const char* key, char* buffer, int size) {
  if (size <= 0) return false;
  std::memset(buffer, 0, size_t(size));
  const UpdaterState& s = updaterState;
  const std::string_view text(s.updateIniText != nullptr ? s.updateIniText : "", s.updateIniSize);
  return AnswerProfileQuery(s.updateIniText != nullptr ? &text : nullptr, section, key, "", buffer,
                            uint32_t(size)) > 0;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsTerminator(char c) { return c == '\0' || c == '\n' || c == '\r' || c == ','; }

// Copies the token [start, end) into `out` of `outSize` bytes. A token too
// long for its slot is cut at the last whole character that fits; the
// terminator is replaced by a NUL for the walk and put back.
void StoreToken(char* start, char* end, char* out, size_t outSize) {
  if (outSize == 0) return;
  size_t length = size_t(end - start);
  if (length > outSize - 1) {
    char terminator = *end;
    *end = '\0';
    const char* fits = start;
    for (;;) {
      const char* next = platform.CharNextA(fits);
      if (next == fits || size_t(next - start) > outSize - 1) break;
      fits = next;
    }
    *end = terminator;
    length = size_t(fits - start);
  }
  std::memcpy(out, start, length);
  out[length] = '\0';
}

}  // namespace

int ReadUpdateKey(const char* section, const char* key, char* buffer, int size) {
  if (ReadUpdateIniValue(section, key, buffer, size)) return 1;
  if (updaterState.quietKeys == 0) {
    char message[kLongTextSize];
    FormatText(message, sizeof message, kMsgKeyMissing, section, key);
    ShowSettingsError(message);
  }
  return 0;
}

int ReadSetupKey(const char* key, char* buffer, int size) {
  if (ReadValue(updaterState.setupIniPath, kSetupSection, key, buffer, size)) return 1;
  if (updaterState.quietKeys == 0) {
    char message[kLongTextSize];
    FormatText(message, sizeof message, kMsgSetupKeyMissing, key);
    ShowSettingsError(message);
  }
  return 0;
}

int ReadSetupNumber(const char* key, int32_t* out) {
  char text[kPathSize];
  if (!ReadSetupKey(key, text, sizeof text)) return 0;
  *out = ParseDecimal(text);
  return 1;
}

int NextListToken(char* out, size_t outSize, char** cursor) {
  char* p = *cursor;
  while (IsBlank(*p)) ++p;
  if (IsTerminator(*p)) {
    *cursor = p;
    return 0;
  }
  // A disc prefix: one character and a colon, such as "2:".
  if (p[1] == ':') {
    const char disc[2] = {p[0], '\0'};
    updaterState.currentDisc = ParseDecimal(disc);
    p += 2;
  }
  char* end = p;
  while (!IsTerminator(*end)) ++end;
  StoreToken(p, end, out, outSize);
  *cursor = *end == '\0' ? end : end + 1;
  return 1;
}

void ShowSettingsError(const char* text) {
  platform.MessageBoxA(updaterState.ownerWindow, text, kCaptionSettings,
                       win::kMbOk | win::kMbIconError);
}
