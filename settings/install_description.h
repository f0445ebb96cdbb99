#pragma once

// Reads section [SETUP] of the installation's SETUP.INI (`setupIniPath`) in
// full into the updater state. 1 when the whole description was read, 0 when
// it stopped (after its own message, where it has one).
int ReadInstallDescription();
