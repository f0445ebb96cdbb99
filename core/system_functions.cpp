#include "core/system_functions.h"

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

// Composes a name with the platform's formatting: one "%s" a fragment.
template <typename... Fragments>
void ComposeName(char* out, size_t size, Fragments... fragments) {
  char format[2 * sizeof...(Fragments) + 1] = {};
  for (size_t i = 0; i < sizeof...(Fragments); ++i) {
    format[2 * i] = '%';
    format[2 * i + 1] = 's';
  }
  FormatText(out, size, format, fragments...);
}

// Composes a name from `fragments` into `buffer` and sets `entry` to what
// `module` holds under it; nothing when the module is missing. False when
// nothing was found.
template <size_t N, typename Function, typename... Fragments>
bool LookUp(const ModuleLoader& loader, win::Hmodule module, char (&buffer)[N], Function*& entry,
            Fragments... fragments) {
  ComposeName(buffer, N, fragments...);
  void* address = module != nullptr ? loader.GetProcAddress(module, buffer) : nullptr;
  entry = reinterpret_cast<Function*>(address);
  return address != nullptr;
}

}  // namespace

int ResolveSystemFunctions(const ModuleLoader& loader) {
  SystemFunctionTable& t = systemFunctions;
  char composed[kNameBuffer];
  bool all = true;

#define UPDATER_LOAD_LIBRARY(library, fragments)                    \
  ComposeName(composed, sizeof composed, UPDATER_FRAGMENTS fragments); \
  t.library = loader.LoadLibraryA(composed);                        \
  all &= t.library != nullptr;
  UPDATER_SYSTEM_LIBRARIES(UPDATER_LOAD_LIBRARY)
#undef UPDATER_LOAD_LIBRARY

#define UPDATER_SYSTEM_ENTRY(library, fragments, result, name, parameters) \
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
#define UPDATER_RESOURCE_ENTRY(library, fragments, result, name, parameters) \
  all &= LookUp(loader, t.library, composed, f.name, UPDATER_FRAGMENTS fragments);
  UPDATER_PLATFORM_FUNCTIONS(UPDATER_RESOURCE_ONLY)
#undef UPDATER_RESOURCE_ENTRY
  return all;
}

}  // namespace

const uint8_t* LockArchiveResource(const ModuleLoader& loader) {
  ResourceFunctions f{};
  // A resource function that the platform lacks counts as a missing resource.
  if (!LookUpResourceFunctions(loader, f)) return nullptr;

  char typeName[kResourceNameBuffer];
  FormatText(typeName, sizeof typeName, "%s%s", "UPD", "ATE");
  win::Hmodule module = updaterState.instanceHandle;
  void* resource = f.FindResourceA(module, win::IntResource(102), typeName);
  if (resource == nullptr) return nullptr;
  win::Dword size = f.SizeofResource(module, resource);
  if (size == 0) return nullptr;
  void* loaded = f.LoadResource(module, resource);
  if (loaded == nullptr) return nullptr;
  auto* image = static_cast<const uint8_t*>(f.LockResource(loaded));
  if (image == nullptr) return nullptr;
  updaterState.archiveImageSize = size;
  return image;
}
