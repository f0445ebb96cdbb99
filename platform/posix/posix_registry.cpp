// The registry of the POSIX build: a registry file (reg_file.h) named by
// UPDATER_REGISTRY, read when a key is opened. Without that variable, or
// when the file cannot be read, no key exists. Keys open under
// HKEY_CURRENT_USER (or under a key opened before); the registry is
// read-only.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "platform/posix/posix_functions.h"
#include "platform/posix/reg_file.h"

namespace {

constexpr win::Long kErrorFileNotFound = 2;
constexpr win::Long kErrorInvalidHandle = 6;
constexpr win::Long kErrorInvalidParameter = 87;
constexpr win::Long kErrorMoreData = 234;

const char kCurrentUser[] = "HKEY_CURRENT_USER";

// An open key: its path and a snapshot of its values.
struct OpenKey {
  std::string path;
  std::vector<RegFileValue> values;
};

std::vector<std::unique_ptr<OpenKey>>& OpenKeys() {
  static std::vector<std::unique_ptr<OpenKey>> keys;
  return keys;
}

OpenKey* Find(win::Hkey handle) {
  for (const auto& key : OpenKeys()) {
    if (key.get() == handle) return key.get();
  }
  return nullptr;
}

// The keys of the registry file; empty (after saying why on standard error)
// when there is none that can be read.
std::vector<RegFileKey> LoadRegistry() {
  std::vector<RegFileKey> keys;
  const char* path = std::getenv("UPDATER_REGISTRY");
  if (path == nullptr || *path == '\0') return keys;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "UPDATER_REGISTRY: cannot read %s\n", path);
    return keys;
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  std::vector<std::string> warnings;
  ParseRegFile(bytes.str(), &keys, &warnings);
  for (const std::string& warning : warnings) {
    std::fprintf(stderr, "UPDATER_REGISTRY %s: %s\n", path, warning.c_str());
  }
  return keys;
}

// A key exists when the file names it or one of its subkeys.
bool KeyExists(const std::vector<RegFileKey>& keys, const std::string& path,
               std::vector<RegFileValue>* values) {
  bool exists = false;
  for (const RegFileKey& key : keys) {
    if (SameRegName(key.path, path)) {
      *values = key.values;
      exists = true;
    } else if (key.path.size() > path.size() && key.path[path.size()] == '\\' &&
               SameRegName(key.path.substr(0, path.size()), path)) {
      exists = true;
    }
  }
  return exists;
}

// The path of `subKey` under `parent`, without empty components.
bool JoinKeyPath(win::Hkey parent, const char* subKey, std::string* path) {
  if (parent == win::CurrentUserKey()) {
    *path = kCurrentUser;
  } else if (OpenKey* open = Find(parent)) {
    *path = open->path;
  } else {
    return false;
  }
  std::string part;
  for (const char* p = subKey != nullptr ? subKey : "";; ++p) {
    if (*p == '\\' || *p == '\0') {
      if (!part.empty()) *path += "\\" + part;
      part.clear();
      if (*p == '\0') break;
    } else {
      // A two-byte character's second byte may be 0x5C; it is no separator.
      if (PosixIsDBCSLeadByte(uint8_t(*p)) && p[1] != '\0') part += *p++;
      part += *p;
    }
  }
  return true;
}

}  // namespace

win::Long WINAPI_CC PosixRegOpenKeyExA(win::Hkey key, const char* subKey, win::Dword, win::Dword,
                                       win::Hkey* result) {
  if (result == nullptr) return kErrorInvalidParameter;
  *result = nullptr;
  std::string path;
  if (!JoinKeyPath(key, subKey, &path)) return kErrorInvalidHandle;
  std::vector<RegFileValue> values;
  if (!KeyExists(LoadRegistry(), path, &values)) return kErrorFileNotFound;
  OpenKeys().push_back(std::make_unique<OpenKey>(OpenKey{path, values}));
  *result = OpenKeys().back().get();
  return win::kErrorSuccess;
}

win::Long WINAPI_CC PosixRegQueryValueExA(win::Hkey key, const char* name, win::Dword*,
                                          win::Dword* type, uint8_t* data, win::Dword* size) {
  OpenKey* open = Find(key);
  if (open == nullptr) return kErrorInvalidHandle;
  const std::string wanted = name != nullptr ? name : "";
  for (const RegFileValue& value : open->values) {
    if (!SameRegName(value.name, wanted)) continue;
    if (data != nullptr && size == nullptr) return kErrorInvalidParameter;
    if (type != nullptr) *type = value.type;
    const win::Dword needed = win::Dword(value.data.size());
    if (data != nullptr && *size < needed) {
      *size = needed;
      return kErrorMoreData;
    }
    if (data != nullptr) std::memcpy(data, value.data.data(), needed);
    if (size != nullptr) *size = needed;
    return win::kErrorSuccess;
  }
  return kErrorFileNotFound;
}

win::Long WINAPI_CC PosixRegCloseKey(win::Hkey key) {
  auto& keys = OpenKeys();
  for (auto it = keys.begin(); it != keys.end(); ++it) {
    if (it->get() == key) {
      keys.erase(it);
      return win::kErrorSuccess;
    }
  }
  return kErrorInvalidHandle;
}
