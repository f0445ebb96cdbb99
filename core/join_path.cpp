#include "core/join_path.h"

#include <cstring>

#include "core/platform.h"

namespace {
// True when the last character of `path` is a one-byte backslash. The walk
// goes by characters so that the second byte of a two-byte character never
// counts as one.
bool EndsInBackslash(const char* path) {
  const char* last = nullptr;
  for (const char* p = path; *p != '\0'; p = platform.CharNextA(p)) last = p;
  return last != nullptr && *last == '\\' && platform.CharNextA(last) == last + 1;
}
}  // namespace

bool JoinPath(char* path, size_t size, const char* name) {
  size_t length = std::strlen(path);
  bool addSeparator = length == 0 || !EndsInBackslash(path);
  size_t nameLength = std::strlen(name);
  size_t total = length + (addSeparator ? 1 : 0) + nameLength;
  if (total + 2 > size) return false;  // the result, its NUL and the list's second NUL
  if (addSeparator) path[length++] = '\\';
  std::memcpy(path + length, name, nameLength);
  path[total] = '\0';
  path[total + 1] = '\0';
  return true;
}

int FileNameOffset(const char* path) {
  int offset = 0;
  for (const char* p = path; *p != '\0';) {
    if (platform.IsDBCSLeadByte(uint8_t(*p)) && p[1] != '\0') {
      p += 2;
      continue;
    }
    if (*p == '\\') offset = int(p - path) + 1;
    ++p;
  }
  return offset;
}
