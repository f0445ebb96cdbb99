#pragma once

#include <cstddef>

// Appends a backslash (unless the path already ends in a one-byte backslash)
// and `name` to the path in `path`, a buffer of `size` bytes, and writes a
// second NUL behind the result so that it is also a list of one path for the
// shell's copy. False, without changing the path, when the result and its
// extra NUL do not fit.
bool JoinPath(char* path, size_t size, const char* name);

// The index of the first byte after the last backslash that is a character
// of its own (Shift-JIS aware); 0 when there is none.
int FileNameOffset(const char* path);
