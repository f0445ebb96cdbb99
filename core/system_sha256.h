// SHA-256 by the system's own cryptography: the CNG functions of BCRYPT.DLL
// (Windows Vista and later), loaded and looked up by name when needed, the
// way the resource functions are. The POSIX layer offers the same functions
// over OpenSSL.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/win_types.h"

struct ModuleLoader;

// The CNG functions used, with the signatures of bcrypt.h: NTSTATUS is a
// LONG (negative on failure), ULONG a DWORD, handles are pointers, texts are
// UTF-16.
namespace cng {
using OpenAlgorithmProviderFn = win::Long(WINAPI_CC*)(void** algorithm, const char16_t* id,
                                                      const char16_t* implementation,
                                                      win::Dword flags);
using GetPropertyFn = win::Long(WINAPI_CC*)(void* object, const char16_t* property,
                                            uint8_t* out, win::Dword size, win::Dword* written,
                                            win::Dword flags);
using CreateHashFn = win::Long(WINAPI_CC*)(void* algorithm, void** hash, uint8_t* object,
                                           win::Dword objectSize, uint8_t* secret,
                                           win::Dword secretSize, win::Dword flags);
using HashDataFn = win::Long(WINAPI_CC*)(void* hash, uint8_t* data, win::Dword size,
                                         win::Dword flags);
using FinishHashFn = win::Long(WINAPI_CC*)(void* hash, uint8_t* out, win::Dword size,
                                           win::Dword flags);
using DestroyHashFn = win::Long(WINAPI_CC*)(void* hash);
using CloseAlgorithmProviderFn = win::Long(WINAPI_CC*)(void* algorithm, win::Dword flags);
}  // namespace cng

constexpr size_t kSha256Size = 32;

// Writes the digest of `size` bytes at `data` to `digest`; false when the
// library, a function or a step of the hashing fails.
bool ComputeSystemSha256(const ModuleLoader& loader, const uint8_t* data, uint32_t size,
                         uint8_t digest[kSha256Size]);
