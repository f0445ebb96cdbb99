// Resources appended to a file (see appended_resource.h). The file is mapped
// read-only once; the mapping stays for the life of the process, like the
// resources of a Windows module.
#include <fcntl.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/win_types.h"
#include "platform/posix/appended_resource.h"
#include "platform/posix/posix_functions.h"

namespace {

struct FoundResource {
  const uint8_t* data;
  uint32_t size;
};

struct PosixModule {
  std::string path;
  const uint8_t* image = nullptr;  // the mapped file, or null before the first use
  size_t size = 0;
  bool mapped = false;
  std::vector<std::unique_ptr<FoundResource>> found;  // handed out by FindResourceA
};

// Modules and their resources live as long as the process, as on Windows.
std::vector<std::unique_ptr<PosixModule>>& Modules() {
  static std::vector<std::unique_ptr<PosixModule>> modules;
  return modules;
}

bool Map(PosixModule* module) {
  if (module->mapped) return module->image != nullptr;
  module->mapped = true;
  int fd = open(module->path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || st.st_size <= 0) {
    close(fd);
    return false;
  }
  void* p = mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  if (p == MAP_FAILED) return false;
  module->image = static_cast<const uint8_t*>(p);
  module->size = size_t(st.st_size);
  return true;
}

}  // namespace

win::Hmodule PosixModuleForFile(const char* hostPath) {
  Modules().push_back(std::make_unique<PosixModule>());
  Modules().back()->path = hostPath;
  return Modules().back().get();
}

void* WINAPI_CC PosixFindResourceA(win::Hmodule handle, const char* name, const char* type) {
  auto* module = static_cast<PosixModule*>(handle);
  if (module == nullptr || !Map(module)) return nullptr;
  // Only numeric ids under named types are stored.
  if (!win::IsIntResource(name) || type == nullptr || win::IsIntResource(type)) return nullptr;
  const unsigned id = unsigned(reinterpret_cast<uintptr_t>(name));
  size_t end = module->size;
  while (end >= sizeof(AppendedResourceTrailer)) {
    AppendedResourceTrailer t;
    std::memcpy(&t, module->image + end - sizeof t, sizeof t);
    if (std::memcmp(t.magic, kAppendedResourceMagic, sizeof t.magic) != 0) break;
    size_t dataEnd = end - sizeof t;
    if (t.size > dataEnd) break;
    t.type[sizeof t.type - 1] = '\0';
    if (t.id == id && strcasecmp(t.type, type) == 0) {
      module->found.push_back(
          std::make_unique<FoundResource>(FoundResource{module->image + dataEnd - t.size, t.size}));
      return module->found.back().get();
    }
    end = dataEnd - t.size;
  }
  return nullptr;
}

win::Dword WINAPI_CC PosixSizeofResource(win::Hmodule, void* resource) {
  return resource != nullptr ? static_cast<FoundResource*>(resource)->size : 0;
}

void* WINAPI_CC PosixLoadResource(win::Hmodule, void* resource) { return resource; }

void* WINAPI_CC PosixLockResource(void* loaded) {
  return loaded != nullptr ? const_cast<uint8_t*>(static_cast<FoundResource*>(loaded)->data)
                           : nullptr;
}
