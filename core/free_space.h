// The free-space test of the update: whether the drive of a path has space
// for a number of bytes.
#pragma once

#include <cstdint>

// True when the drive of `path` ("C:..."), written to `drive` ("C:", 3
// bytes), has fewer free bytes than `needed`; `missing` then holds how many
// more are needed, at most 0xFFFFFFFF (the messages show 32 bits). A drive
// whose free space cannot be asked has enough: the write itself then fails
// without touching the installed file.
bool DriveLacksSpace(const char* path, uint64_t needed, char drive[3], uint32_t* missing);
