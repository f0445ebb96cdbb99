// Loading by name: the system libraries are pseudo-modules whose functions
// are the POSIX implementations of the by-name entries, looked up by their
// Win32 names.
#include <strings.h>

#include <cstring>

#include "core/platform_functions.h"
#include "platform/posix/posix_functions.h"

namespace {

struct Library {
  const char* name;
};
#define UPDATER_POSIX_LIBRARY(library, fragments) const Library library{#library ".DLL"};
UPDATER_SYSTEM_LIBRARIES(UPDATER_POSIX_LIBRARY)
UPDATER_ON_DEMAND_LIBRARIES(UPDATER_POSIX_LIBRARY)
#undef UPDATER_POSIX_LIBRARY

#define UPDATER_LIBRARY_ADDRESS(library, fragments) &library,
const Library* const kLibraries[] = {UPDATER_SYSTEM_LIBRARIES(UPDATER_LIBRARY_ADDRESS)
                                         UPDATER_ON_DEMAND_LIBRARIES(UPDATER_LIBRARY_ADDRESS)};
#undef UPDATER_LIBRARY_ADDRESS

struct Export {
  const Library* library;
  const char* name;
  void* address;
};

template <typename F>
void* Address(F* f) {
  return reinterpret_cast<void*>(f);
}

#define UPDATER_BY_NAME_ENTRY(library, fragments, result, name, parameters, failure) \
  {&library, #name, Address(Posix##name)},
const Export kExports[] = {UPDATER_PLATFORM_FUNCTIONS(UPDATER_BY_NAME_ONLY)};
#undef UPDATER_BY_NAME_ENTRY

}  // namespace

win::Hmodule WINAPI_CC PosixLoadLibraryA(const char* name) {
  for (const Library* library : kLibraries) {
    if (strcasecmp(library->name, name) == 0) {
      return const_cast<Library*>(library);
    }
  }
  return nullptr;
}

void* WINAPI_CC PosixGetProcAddress(win::Hmodule module, const char* name) {
  for (const Export& e : kExports) {
    if (e.library == module && std::strcmp(e.name, name) == 0) return e.address;
  }
  return nullptr;
}
