#include "wizard/set_info_text.h"

#include <cstdarg>

#include "core/platform.h"
#include "core/text_format.h"
#include "core/updater_state.h"
#include "wizard/wizard_controls.h"

void SetInfoText(win::Hwnd window, const char* format, ...) {
  char text[kLongTextSize];
  va_list arguments;
  va_start(arguments, format);
  FormatTextV(text, sizeof text, format, arguments);
  va_end(arguments);
  platform.SetDlgItemTextA(window, kIdInfo, text);
}
