// SHA-256 by the system's own cryptography: the CNG functions of BCRYPT.DLL
// (Windows Vista and later), the "hashing" entries of the platform list,
// loaded and looked up by name when needed. The POSIX layer offers the same
// functions over OpenSSL.
#pragma once

#include <cstddef>
#include <cstdint>

struct ModuleLoader;

constexpr size_t kSha256Size = 32;

// Writes the digest of `size` bytes at `data` to `digest`; false when the
// library, a function or a step of the hashing fails.
bool ComputeSystemSha256(const ModuleLoader& loader, const uint8_t* data, uint32_t size,
                         uint8_t digest[kSha256Size]);
