#include "core/system_sha256.h"

#include "core/name_lookup.h"
#include "core/platform.h"
#include "core/platform_functions.h"
#include "core/win_types.h"

namespace {

#define UPDATER_HASHING_ENTRY UPDATER_ENTRY_FIELD
struct HashingFunctions {
  UPDATER_PLATFORM_FUNCTIONS(UPDATER_HASHING_ONLY)
};
#undef UPDATER_HASHING_ENTRY

constexpr size_t kNameBuffer = 64;

// Loads the hashing library and looks up every hashing function in it;
// false when one is missing.
bool LoadHashing(const ModuleLoader& loader, HashingFunctions& f) {
  char composed[kNameBuffer];
#define UPDATER_LOAD_LIBRARY(library, fragments)                       \
  ComposeName(composed, sizeof composed, UPDATER_FRAGMENTS fragments); \
  const win::Hmodule library = loader.LoadLibraryA(composed);
  UPDATER_ON_DEMAND_LIBRARIES(UPDATER_LOAD_LIBRARY)
#undef UPDATER_LOAD_LIBRARY
  bool all = true;
#define UPDATER_HASHING_ENTRY(library, fragments, result, name, parameters, failure) \
  all &= LookUp(loader, library, composed, f.name, UPDATER_FRAGMENTS fragments);
  UPDATER_PLATFORM_FUNCTIONS(UPDATER_HASHING_ONLY)
#undef UPDATER_HASHING_ENTRY
  return all;
}

bool Succeeded(win::Long status) { return status >= 0; }

}  // namespace

bool ComputeSystemSha256(const ModuleLoader& loader, const uint8_t* data, uint32_t size,
                         uint8_t digest[kSha256Size]) {
  HashingFunctions f{};
  if (!LoadHashing(loader, f)) return false;
  void* algorithm = nullptr;
  if (!Succeeded(f.BCryptOpenAlgorithmProvider(&algorithm, u"SHA256", nullptr, 0))) return false;

  // Windows Vista wants the caller to provide the hash object's memory.
  bool done = false;
  win::Dword objectSize = 0;
  win::Dword written = 0;
  if (Succeeded(f.BCryptGetProperty(algorithm, u"ObjectLength",
                                    reinterpret_cast<uint8_t*>(&objectSize), sizeof objectSize,
                                    &written, 0)) &&
      written == sizeof objectSize) {
    auto* object = static_cast<uint8_t*>(platform.GlobalAlloc(win::kGmemFixed, objectSize));
    void* hash = nullptr;
    if (object != nullptr &&
        Succeeded(f.BCryptCreateHash(algorithm, &hash, object, objectSize, nullptr, 0, 0))) {
      done = Succeeded(f.BCryptHashData(hash, const_cast<uint8_t*>(data), size, 0)) &&
             Succeeded(f.BCryptFinishHash(hash, digest, kSha256Size, 0));
      f.BCryptDestroyHash(hash);
    }
    if (object != nullptr) platform.GlobalFree(object);
  }
  f.BCryptCloseAlgorithmProvider(algorithm, 0);
  return done;
}
