#include "wizard/set_info_text.h"

#include <cstdarg>

#include "core/platform.h"
#include "core/updater_state.h"
#include "wizard/wizard_controls.h"

void SetInfoText(win::Hwnd window, const char* format, ...) {
  // wvsprintfA writes at most 1024 bytes with the terminator; the extra
  // byte keeps the terminator in place whatever it reports.
  char text[kLongTextSize + 1];
  va_list arguments;
  va_start(arguments, format);
  int length = platform.wvsprintfA(text, format, arguments);
  va_end(arguments);
  if (length < 0) length = 0;
  if (length > kLongTextSize - 1) length = kLongTextSize - 1;
  text[length] = '\0';
  platform.SetDlgItemTextA(window, kIdInfo, text);
}
