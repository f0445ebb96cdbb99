// Small questions and steps on files that the logic asks again and again,
// over the platform tables. A failed call is never taken for an answer: an
// absence is told only when two different calls agree on it.
#pragma once

#include "core/win_types.h"

// The attributes of what is at `path` in `attributes`, or
// kInvalidFileAttributes when nothing is there. False when that cannot be
// told: the attributes cannot be read, yet the file opens.
bool ReadAttributes(const char* path, win::Dword* attributes);

// True only when nothing is at `path` (ReadAttributes says so).
bool IsAbsent(const char* path);

// Gives the file at `path` the three times. False when it cannot be opened
// or the times cannot be set.
bool SetFileTimes(const char* path, const win::FileTime& creation,
                  const win::FileTime& lastAccess, const win::FileTime& lastWrite);
