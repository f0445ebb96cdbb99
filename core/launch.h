#pragma once

// Stage 6: reads [SETUP] of UPDATE.INI, finds the installation, refuses a
// second updater or a running game, and runs the wizard. Returns the exit
// code: 1 after a finished wizard, else 0.
int DiscoverAndLaunch();
