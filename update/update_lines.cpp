#include "update/update_lines.h"

#include <cstring>

#include "core/platform.h"
#include "settings/settings_reader.h"

namespace {

// The code of a character minus the code of "0", with the bytes of code
// page 932 taken as signed as the updater's compiler takes them.
int DigitValue(char c) { return int(static_cast<signed char>(c)) - '0'; }

int ModeOf(const char* field) {
  static const struct {
    const char* letter;
    int mode;
  } kLetters[] = {
      {"d", kModeData}, {"u", kModeNewer}, {"o", kModeOverwrite}, {"e", kModeExistTest}};
  for (const auto& entry : kLetters) {
    if (platform.lstrcmpiA(field, entry.letter) == 0) return entry.mode;
  }
  return kModePlain;
}

}  // namespace

void ParseUpdateLine(char* line, UpdateLine* out) {
  // Fields as large as the whole line: no field is ever cut here.
  char fields[3][kLongTextSize] = {};
  char* cursor = line;
  for (auto& field : fields) {
    if (!NextListToken(field, sizeof field, &cursor)) break;
  }
  int next = 0;
  out->installMode = kAnyInstallMode;
  if (std::strlen(fields[0]) == 1 && fields[0][0] >= '0' && fields[0][0] <= '9') {
    out->installMode = fields[0][0] - '0';
    next = 1;
  }
  out->mode = ModeOf(fields[next]);
  if (out->mode != kModePlain) ++next;
  std::memcpy(out->path, fields[next], sizeof out->path);
}

void ParseCopyLine(const char* value, CopyLine* out) {
  const char* rest = value;
  out->hasInstallMode = rest[0] != '\0' && rest[1] == ',';
  out->installMode = out->hasInstallMode ? DigitValue(rest[0]) : 0;
  if (out->hasInstallMode) rest += 2;
  out->disc = 0;
  if (rest[0] != '\0' && rest[1] == ':') {
    out->disc = DigitValue(rest[0]);
    rest += 2;
  }
  out->name = rest;
}
