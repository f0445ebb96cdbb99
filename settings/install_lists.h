// Splitting the list values of SETUP.INI into the slots of the updater state.
#pragma once

#include <cstdint>

#include "core/updater_state.h"

// Takes tokens of the writable list text `list` into `slots` until the list
// ends or every slot is filled (further tokens are ignored); each token's
// disc number goes to `discs` when given. The first slot left over is
// emptied. Returns the number of tokens stored.
int SplitIntoSlots(char* list, char (*slots)[kPathSize], int slotCount, int32_t* discs);

// Splits a list of files into `selection`: disc numbers counted from disc 0,
// `usesDiscs` 1 when any of them is not 0. Returns the number of files.
int SplitSelectionFiles(char* list, InstallSelection* selection);

// Splits one shortcut value into the four fields of `entry`: the first two
// are required, the third and fourth may be empty ("a,b,,d" keeps "d" as the
// fourth). False when the value has fewer than two fields.
bool SplitShortcut(char* value, ShortcutEntry* entry);
