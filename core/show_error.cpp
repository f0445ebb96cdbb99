#include "core/show_error.h"

#include <cstdarg>
#include <cstring>

#include "core/platform.h"
#include "core/text_format.h"
#include "core/updater_state.h"

namespace {
constexpr int kMaxHeld = 4;
bool holding = false;
int heldCount = 0;
char held[kMaxHeld][kLongTextSize];
}  // namespace

void HoldErrors() {
  holding = true;
  heldCount = 0;
}

void ShowHeldErrors() {
  holding = false;
  for (int i = 0; i < heldCount; ++i) ShowError(held[i]);
  heldCount = 0;
}

void ShowError(const char* text) {
  if (holding) {
    if (heldCount < kMaxHeld) CopyText(held[heldCount++], kLongTextSize, text);
    return;
  }
  platform.MessageBoxA(updaterState.ownerWindow, text, updaterState.caption,
                       win::kMbOk | win::kMbIconError);
}

void ShowErrorFormatted(const char* format, ...) {
  char message[kLongTextSize];
  va_list arguments;
  va_start(arguments, format);
  FormatTextV(message, sizeof message, format, arguments);
  va_end(arguments);
  ShowError(message);
}
