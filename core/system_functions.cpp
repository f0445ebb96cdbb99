#include "core/system_functions.h"

#include "core/name_lookup.h"
#include "core/platform.h"
#include "core/platform_functions.h"
#include "core/text_format.h"
#include "core/updater_state.h"

SystemFunctionTable systemFunctions;

// Library and function names are not kept as whole texts: each is composed
// from its fragments (core/platform_functions.h) when it is needed.
namespace {

constexpr size_t kNameBuffer = 128;
constexpr size_t kResourceNameBuffer = 64;

}  // namespace

int ResolveSystemFunctions(const ModuleLoader& loader) {
  SystemFunctionTable& t = systemFunctions;
  char composed[kNameBuffer];
  bool all = true;

#define UPDATER_LOAD_LIBRARY(library, fragments)                       \
  ComposeName(composed, sizeof composed, UPDATER_FRAGMENTS fragments); \
  t.library = loader.LoadLibraryA(composed);                           \
  all &= t.library != nullptr;
  UPDATER_SYSTEM_LIBRARIES(UPDATER_LOAD_LIBRARY)
#undef UPDATER_LOAD_LIBRARY

#define UPDATER_SYSTEM_ENTRY(library, fragments, result, name, parameters, failure) \
  all &= LookUp(loader, t.library, composed, t.name, UPDATER_FRAGMENTS fragments);
  UPDATER_PLATFORM_FUNCTIONS(UPDATER_SYSTEM_ONLY)
#undef UPDATER_SYSTEM_ENTRY

  return all ? 1 : 0;
}

namespace {

#define UPDATER_RESOURCE_ENTRY UPDATER_ENTRY_FIELD
struct ResourceFunctions {
  UPDATER_PLATFORM_FUNCTIONS(UPDATER_RESOURCE_ONLY)
};
#undef UPDATER_RESOURCE_ENTRY

// Looks up every resource function, each in its library's handle of the
// table; false when one is missing.
bool LookUpResourceFunctions(const ModuleLoader& loader, ResourceFunctions& f) {
  const SystemFunctionTable& t = systemFunctions;
  char composed[kResourceNameBuffer];
  bool all = true;
#define UPDATER_RESOURCE_ENTRY(library, fragments, result, name, parameters, failure) \
  all &= LookUp(loader, t.library, composed, f.name, UPDATER_FRAGMENTS fragments);
  UPDATER_PLATFORM_FUNCTIONS(UPDATER_RESOURCE_ONLY)
#undef UPDATER_RESOURCE_ENTRY
  return all;
}

}  // namespace

UpdaterResource LockUpdaterResource(const ModuleLoader& loader, unsigned id) {
  UpdaterResource result{false, nullptr, 0};
  ResourceFunctions f{};
  // A resource function that the platform lacks counts as a missing resource.
  if (!LookUpResourceFunctions(loader, f)) return result;

  char typeName[kResourceNameBuffer];
  FormatText(typeName, sizeof typeName, "%s%s", "UPD", "ATE");
  win::Hmodule module = updaterState.instanceHandle;
  void* resource = f.FindResourceA(module, win::IntResource(id), typeName);
  if (resource == nullptr) return result;
  result.found = true;
  win::Dword size = f.SizeofResource(module, resource);
  if (size == 0) return result;
  void* loaded = f.LoadResource(module, resource);
  if (loaded == nullptr) return result;
  result.data = static_cast<const uint8_t*>(f.LockResource(loaded));
  if (result.data != nullptr) result.size = size;
  return result;
}

const uint8_t* LockArchiveResource(const ModuleLoader& loader) {
  const UpdaterResource archive = LockUpdaterResource(loader, 102);
  if (archive.data == nullptr) return nullptr;
  updaterState.archiveImageSize = archive.size;
  return archive.data;
}
