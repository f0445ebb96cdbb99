#include "update/contained_path.h"

#include <cstring>
#include <initializer_list>

#include "core/file_helpers.h"
#include "core/platform.h"
#include "core/updater_state.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsSingleByte(const char* p) { return platform.CharNextA(p) == p + 1; }

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

// The component [start, end) names a device: its base name (up to the
// first dot, without trailing spaces) is one of the reserved names.
bool NamesDevice(const char* start, const char* end) {
  const char* base = start;
  while (base < end && *base != '.') ++base;
  while (base > start && base[-1] == ' ') --base;
  const size_t length = size_t(base - start);
  char name[8] = {};
  if (length == 0 || length >= sizeof name) return false;
  for (size_t i = 0; i < length; ++i) name[i] = UpperAscii(start[i]);
  for (const char* reserved : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (std::strcmp(name, reserved) == 0) return true;
  }
  return length == 4 && (std::strncmp(name, "COM", 3) == 0 || std::strncmp(name, "LPT", 3) == 0) &&
         name[3] >= '0' && name[3] <= '9';
}

bool OnlyDotsAndSpaces(const char* start, const char* end) {
  for (const char* p = start; p < end; ++p) {
    if (*p != '.' && *p != ' ') return false;
  }
  return true;
}

// The component [start, end) may stand in a contained path (an empty one,
// as between doubled separators, adds nothing and is allowed).
bool IsAllowedComponent(const char* start, const char* end) {
  if (start == end) return true;
  return !OnlyDotsAndSpaces(start, end) && !NamesDevice(start, end);
}

}  // namespace

bool IsContainedRelativePath(const char* path) {
  if (path[0] == '\0' || IsSeparator(path[0])) return false;
  const char* component = path;
  for (const char* p = path;; p = platform.CharNextA(p)) {
    const bool single = *p != '\0' && IsSingleByte(p);
    if (single && *p == ':') return false;
    if (*p == '\0' || (single && IsSeparator(*p))) {
      if (!IsAllowedComponent(component, p)) return false;
      if (*p == '\0') return true;
      component = p + 1;
    }
  }
}

int ContainedRestOffset(const char* path, const char* folder) {
  if (folder[0] == '\0') return -1;
  const char* p = path;
  bool endsInSeparator = false;
  for (const char* f = folder; *f != '\0';) {
    const char* next = platform.CharNextA(f);
    const size_t length = size_t(next - f);
    if (length == 1) {
      if (UpperAscii(*p) != UpperAscii(*f)) return -1;
    } else if (std::strncmp(p, f, length) != 0) {
      return -1;
    }
    endsInSeparator = length == 1 && IsSeparator(*f);
    p += length;
    f = next;
  }
  if (!endsInSeparator) {
    if (*p != '\\') return -1;
    ++p;
  }
  return IsContainedRelativePath(p) ? int(p - path) : -1;
}

bool NoReparsePointBelow(const char* path, int restOffset) {
  char prefix[kPathSize];
  const size_t length = std::strlen(path);
  if (length >= sizeof prefix) return false;
  std::memcpy(prefix, path, length + 1);
  for (char* p = prefix + restOffset;; p = platform.CharNextA(p)) {
    const bool end = *p == '\0';
    if (!end && !(IsSingleByte(p) && IsSeparator(*p))) continue;
    const char saved = *p;
    *p = '\0';
    const win::Dword attributes = AttributesOf(prefix);
    *p = saved;
    // Every prefix is asked, also below one whose attributes cannot be read.
    if (attributes != win::kInvalidFileAttributes && (attributes & win::kAttributeReparsePoint)) {
      return false;
    }
    if (end) return true;
  }
}

bool IsInGameFolders(const char* path) {
  const UpdaterState& s = updaterState;
  int rest = ContainedRestOffset(path, s.instPath);
  if (rest < 0) rest = ContainedRestOffset(path, s.dataPath);
  return rest >= 0 && NoReparsePointBelow(path, rest);
}
