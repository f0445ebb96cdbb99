#include "core/show_error.h"

#include <cstdarg>
#include <cstring>

#include "core/platform.h"
#include "core/updater_state.h"

void ShowError(const char* text) {
  platform.MessageBoxA(updaterState.ownerWindow, text, updaterState.caption,
                       win::kMbOk | win::kMbIconError);
}

void ShowErrorFormatted(const char* format, ...) {
  char message[kLongTextSize + 1];
  va_list arguments;
  va_start(arguments, format);
  int length = platform.wvsprintfA(message, format, arguments);
  va_end(arguments);
  if (length < 0) length = 0;
  if (length > kLongTextSize - 1) length = kLongTextSize - 1;
  message[length] = '\0';
  ShowError(message);
}
