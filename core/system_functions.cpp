#include "core/system_functions.h"

#include "core/platform.h"
#include "core/text_format.h"
#include "core/updater_state.h"

SystemFunctionTable systemFunctions;

// Library and function names are not kept as whole texts: each is composed
// from short fragments when it is needed.
namespace {

constexpr size_t kNameBuffer = 128;
constexpr size_t kResourceNameBuffer = 64;

void* Lookup(const ModuleLoader& loader, win::Hmodule module, const char* name) {
  return module != nullptr ? loader.GetProcAddress(module, name) : nullptr;
}

template <typename Function>
bool Bind(Function*& entry, void* address) {
  entry = reinterpret_cast<Function*>(address);
  return address != nullptr;
}

}  // namespace

int ResolveSystemFunctions(const ModuleLoader& loader) {
  SystemFunctionTable& t = systemFunctions;
  char name[kNameBuffer];
  bool all = true;

  FormatText(name, sizeof name, "%s%s%s%s%s%s%s%s%s%s%s%s", "K", "E", "R", "N", "E", "L", "3",
             "2", ".", "D", "L", "L");
  t.kernel32 = loader.LoadLibraryA(name);
  FormatText(name, sizeof name, "%s%s%s%s%s%s%s%s%s%s%s", "S", "H", "E", "L", "L", "3", "2",
             ".", "D", "L", "L");
  t.shell32 = loader.LoadLibraryA(name);
  FormatText(name, sizeof name, "%s%s%s%s%s%s%s%s%s%s%s%s", "A", "D", "V", "A", "P", "I", "3",
             "2", ".", "D", "L", "L");
  t.advapi32 = loader.LoadLibraryA(name);
  all = t.kernel32 != nullptr && t.shell32 != nullptr && t.advapi32 != nullptr;

  FormatText(name, sizeof name, "%s%s%s", "Create", "File", "A");
  all &= Bind(t.CreateFileA, Lookup(loader, t.kernel32, name));
  FormatText(name, sizeof name, "%s%s", "Write", "File");
  all &= Bind(t.WriteFile, Lookup(loader, t.kernel32, name));
  FormatText(name, sizeof name, "%s%s", "Read", "File");
  all &= Bind(t.ReadFile, Lookup(loader, t.kernel32, name));
  FormatText(name, sizeof name, "%s%s%s", "Get", "File", "Size");
  all &= Bind(t.GetFileSize, Lookup(loader, t.kernel32, name));
  FormatText(name, sizeof name, "%s%s%s", "Set", "File", "Pointer");
  all &= Bind(t.SetFilePointer, Lookup(loader, t.kernel32, name));
  FormatText(name, sizeof name, "%s%s", "Close", "Handle");
  all &= Bind(t.CloseHandle, Lookup(loader, t.kernel32, name));
  FormatText(name, sizeof name, "%s%s%s%s", "Set", "File", "Attributes", "A");
  all &= Bind(t.SetFileAttributesA, Lookup(loader, t.kernel32, name));
  FormatText(name, sizeof name, "%s%s%s%s", "Get", "File", "Attributes", "A");
  all &= Bind(t.GetFileAttributesA, Lookup(loader, t.kernel32, name));

  FormatText(name, sizeof name, "%s%s%s%s%s", "S", "H", "File", "Operation", "A");
  all &= Bind(t.SHFileOperationA, Lookup(loader, t.shell32, name));

  FormatText(name, sizeof name, "%s%s%s%s%s", "Reg", "Open", "Key", "Ex", "A");
  all &= Bind(t.RegOpenKeyExA, Lookup(loader, t.advapi32, name));
  FormatText(name, sizeof name, "%s%s%s%s%s", "Reg", "Query", "Value", "Ex", "A");
  all &= Bind(t.RegQueryValueExA, Lookup(loader, t.advapi32, name));
  FormatText(name, sizeof name, "%s%s%s", "Reg", "Close", "Key");
  all &= Bind(t.RegCloseKey, Lookup(loader, t.advapi32, name));

  return all ? 1 : 0;
}

namespace {
using FindResourceFn = void*(WINAPI_CC*)(win::Hmodule, const char*, const char*);
using SizeofResourceFn = win::Dword(WINAPI_CC*)(win::Hmodule, void*);
using LoadResourceFn = void*(WINAPI_CC*)(win::Hmodule, void*);
using LockResourceFn = void*(WINAPI_CC*)(void*);
}  // namespace

UpdaterResource LockUpdaterResource(const ModuleLoader& loader, unsigned id) {
  UpdaterResource result{false, nullptr, 0};
  win::Hmodule kernel32 = systemFunctions.kernel32;
  char name[kResourceNameBuffer];
  FormatText(name, sizeof name, "%s%s%s", "Find", "Resource", "A");
  auto findResource = reinterpret_cast<FindResourceFn>(Lookup(loader, kernel32, name));
  FormatText(name, sizeof name, "%s%s", "Sizeof", "Resource");
  auto sizeofResource = reinterpret_cast<SizeofResourceFn>(Lookup(loader, kernel32, name));
  FormatText(name, sizeof name, "%s%s", "Load", "Resource");
  auto loadResource = reinterpret_cast<LoadResourceFn>(Lookup(loader, kernel32, name));
  FormatText(name, sizeof name, "%s%s", "Lock", "Resource");
  auto lockResource = reinterpret_cast<LockResourceFn>(Lookup(loader, kernel32, name));
  // A resource function that the platform lacks counts as a missing resource.
  if (!findResource || !sizeofResource || !loadResource || !lockResource) return result;

  char typeName[kResourceNameBuffer];
  FormatText(typeName, sizeof typeName, "%s%s", "UPD", "ATE");
  win::Hmodule module = updaterState.instanceHandle;
  void* resource = findResource(module, win::IntResource(id), typeName);
  if (resource == nullptr) return result;
  result.found = true;
  win::Dword size = sizeofResource(module, resource);
  if (size == 0) return result;
  void* loaded = loadResource(module, resource);
  if (loaded == nullptr) return result;
  result.data = static_cast<const uint8_t*>(lockResource(loaded));
  if (result.data != nullptr) result.size = size;
  return result;
}

const uint8_t* LockArchiveResource(const ModuleLoader& loader) {
  const UpdaterResource archive = LockUpdaterResource(loader, 102);
  if (archive.data == nullptr) return nullptr;
  updaterState.archiveImageSize = archive.size;
  return archive.data;
}
