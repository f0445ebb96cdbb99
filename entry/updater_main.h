#pragma once

#include "core/win_types.h"

// The updater's entry: runs the stages in order, ends every path through
// Shutdown and returns the exit code (1 after a finished wizard, else 0).
int RunUpdater(win::Hmodule instance);

// Frees the archive directory and the kept bytes of UPDATE.INI, and deletes
// the temporary UPDATE.INI.
void Shutdown();
