// The names that an update run gives its own files beside a target: the
// staged file (the new content) and the old file's name. Recovery acts on a
// journal's staged and old file names only when they are names of this form.
#pragma once

#include <cstddef>

// The attempts at a free name beside one target.
constexpr unsigned kRunFileNameAttempts = 0x10000;

// The name of attempt `attempt` in the folder of `beside` (which ends at
// its last backslash), into `path` of kPathSize bytes: "~upd<hex>.tmp",
// else "~<hex>", else "<hex>", as short as the folder's length demands, so
// that every target that fits has one. False when not even "<hex>" fits.
bool RunFileName(const char* beside, unsigned attempt, char* path);

// True when `path` is one of the names RunFileName gives beside `beside`.
bool IsRunFileName(const char* beside, const char* path);
