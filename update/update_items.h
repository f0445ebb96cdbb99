// Reading section [UPDATE] of UPDATE.INI into the run's item lists.
#pragma once

// The section of UPDATE.INI that describes the update's files.
constexpr char kUpdateSection[] = "UPDATE";

// Reads UpdateFile00 upward (until a key is absent, at most 16) into
// `updateItems`, starting the list afresh, and makes the existence test of
// every "e" line. `anyLine` is set when UpdateFile00 was present. Returns
// false, after its message, when the run must stop.
bool ReadUpdateItems(bool* anyLine);

// Reads CopyFile00 upward in the same way into `copyDiscs` and `copyNames`.
bool ReadCopyItems(bool* anyLine);
