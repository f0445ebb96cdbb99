#pragma once

// Stage 6: reads [SETUP] of UPDATE.INI, finds the installation, refuses a
// second updater or a running game, and runs the wizard. Returns the exit
// code: 1 after a finished wizard, else 0.
int DiscoverAndLaunch();

// Copies `source` into `destination` (at least as large as the source's
// text), turning each backslash-n pair into a carriage return. The walk is
// Shift-JIS aware: the second byte of a two-byte character is never taken for
// a backslash.
void ConvertMessageEscapes(const char* source, char* destination);
