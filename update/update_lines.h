// The two kinds of lines of section [UPDATE]: update lines (split into
// fields at commas) and copy lines (read by position).
#pragma once

#include "core/updater_state.h"

// Mode codes of update items, and the existence test that never becomes one.
constexpr int kModePlain = 0;
constexpr int kModeNewer = 1;      // "u"
constexpr int kModeData = 2;       // "d"
constexpr int kModeOverwrite = 3;  // "o"
constexpr int kModeExistTest = 4;  // "e"

// No install-mode field: the line applies under every install mode.
constexpr int kAnyInstallMode = -1;

struct UpdateLine {
  int installMode;  // 0-9, or kAnyInstallMode
  int mode;         // one of the kMode constants
  // The path field whole, however long; the caller checks that it fits.
  char path[kLongTextSize];
};

// Splits an update line (at most 1023 bytes; written to and restored while
// it is split) into its install-mode field, mode field and path.
void ParseUpdateLine(char* line, UpdateLine* out);

struct CopyLine {
  bool hasInstallMode;
  int installMode;   // the first character's code minus "0", when present
  int disc;          // the disc character's code minus "0"; 0 without one
  const char* name;  // the rest of the value, inside it
};

void ParseCopyLine(const char* value, CopyLine* out);
