// Reading keys of UPDATE.INI and SETUP.INI, and splitting list values.
// Error boxes of this module carry the caption "INSTCMMN".
#pragma once

#include <cstddef>
#include <cstdint>

// Reads `key` of `section` of UPDATE.INI (`updateIniText`, the archive's
// own bytes) into `buffer` of `size` bytes (all zero first), as
// GetPrivateProfileStringA would read the file. 1 when one or more characters were read; 0 for a
// missing or empty key, shown as "%s : %s キーが存在しません" while quietKeys
// is 0.
int ReadUpdateKey(const char* section, const char* key, char* buffer, int size);

// The same for section "SETUP" of `setupIniPath`, with the message
// "SETUP.INI : %s キーが存在しません".
int ReadSetupKey(const char* key, char* buffer, int size);

// Reads a SETUP.INI key as a decimal number into `out` (untouched on 0).
int ReadSetupNumber(const char* key, int32_t* out);

// Takes the next comma-separated token of the list at `*cursor` into `out`
// of `outSize` bytes, handling a disc prefix ("2:") into currentDisc. 1 when
// a token was stored, 0 at the end of the list.
int NextListToken(char* out, size_t outSize, char** cursor);

// The error box of the settings module: caption "INSTCMMN", owner
// `ownerWindow`, error icon, OK.
void ShowSettingsError(const char* text);
