#pragma once

// A message box over `ownerWindow` (none when there is none) with the text,
// the current caption, the error icon and the single OK button.
void ShowError(const char* text);

// Formats the text with the platform's rules (1024 bytes) and shows it.
void ShowErrorFormatted(const char* format, ...);

// While held, errors are stored (the first four) instead of shown, so that a
// caller can put things right before the user sees them. ShowHeldErrors
// shows the stored ones in order and ends the hold.
void HoldErrors();
void ShowHeldErrors();
