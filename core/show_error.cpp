#include "core/show_error.h"

#include <cstdarg>
#include <cstring>

#include "core/platform.h"
#include "core/text_format.h"
#include "core/updater_state.h"

void ShowError(const char* text) {
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
