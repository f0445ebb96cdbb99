#include "core/system_sha256.h"

#include "core/platform.h"
#include "core/system_functions.h"
#include "core/text_format.h"
#include "core/win_types.h"

namespace {

struct Cng {
  cng::OpenAlgorithmProviderFn openAlgorithmProvider;
  cng::GetPropertyFn getProperty;
  cng::CreateHashFn createHash;
  cng::HashDataFn hashData;
  cng::FinishHashFn finishHash;
  cng::DestroyHashFn destroyHash;
  cng::CloseAlgorithmProviderFn closeAlgorithmProvider;
};

constexpr size_t kNameBuffer = 64;

template <typename Function>
bool Find(const ModuleLoader& loader, win::Hmodule library, const char* name, Function* entry) {
  void* address = loader.GetProcAddress(library, name);
  *entry = reinterpret_cast<Function>(address);
  return address != nullptr;
}

bool LoadCng(const ModuleLoader& loader, Cng* cng) {
  char name[kNameBuffer];
  FormatText(name, sizeof name, "%s%s%s%s%s%s%s%s%s%s", "B", "C", "R", "Y", "P", "T", ".", "D",
             "L", "L");
  win::Hmodule library = loader.LoadLibraryA(name);
  if (library == nullptr) return false;
  bool all = true;
  FormatText(name, sizeof name, "%s%s%s%s", "BCrypt", "Open", "Algorithm", "Provider");
  all &= Find(loader, library, name, &cng->openAlgorithmProvider);
  FormatText(name, sizeof name, "%s%s%s", "BCrypt", "Get", "Property");
  all &= Find(loader, library, name, &cng->getProperty);
  FormatText(name, sizeof name, "%s%s%s", "BCrypt", "Create", "Hash");
  all &= Find(loader, library, name, &cng->createHash);
  FormatText(name, sizeof name, "%s%s%s", "BCrypt", "Hash", "Data");
  all &= Find(loader, library, name, &cng->hashData);
  FormatText(name, sizeof name, "%s%s%s", "BCrypt", "Finish", "Hash");
  all &= Find(loader, library, name, &cng->finishHash);
  FormatText(name, sizeof name, "%s%s%s", "BCrypt", "Destroy", "Hash");
  all &= Find(loader, library, name, &cng->destroyHash);
  FormatText(name, sizeof name, "%s%s%s%s", "BCrypt", "Close", "Algorithm", "Provider");
  all &= Find(loader, library, name, &cng->closeAlgorithmProvider);
  return all;
}

bool Succeeded(win::Long status) { return status >= 0; }

}  // namespace

bool ComputeSystemSha256(const ModuleLoader& loader, const uint8_t* data, uint32_t size,
                         uint8_t digest[kSha256Size]) {
  Cng cng;
  if (!LoadCng(loader, &cng)) return false;
  void* algorithm = nullptr;
  if (!Succeeded(cng.openAlgorithmProvider(&algorithm, u"SHA256", nullptr, 0))) return false;

  // Windows Vista wants the caller to provide the hash object's memory.
  bool done = false;
  win::Dword objectSize = 0;
  win::Dword written = 0;
  if (Succeeded(cng.getProperty(algorithm, u"ObjectLength", reinterpret_cast<uint8_t*>(&objectSize),
                                sizeof objectSize, &written, 0)) &&
      written == sizeof objectSize) {
    auto* object = static_cast<uint8_t*>(platform.GlobalAlloc(win::kGmemFixed, objectSize));
    void* hash = nullptr;
    if (object != nullptr &&
        Succeeded(cng.createHash(algorithm, &hash, object, objectSize, nullptr, 0, 0))) {
      done = Succeeded(cng.hashData(hash, const_cast<uint8_t*>(data), size, 0)) &&
             Succeeded(cng.finishHash(hash, digest, kSha256Size, 0));
      cng.destroyHash(hash);
    }
    if (object != nullptr) platform.GlobalFree(object);
  }
  cng.closeAlgorithmProvider(algorithm, 0);
  return done;
}
