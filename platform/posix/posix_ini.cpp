// GetPrivateProfileStringA of the POSIX build: reads the settings file at a
// DOS path through the drive map, with the rules of ini_reader.h.
//
// Only the form that the updater uses is provided, a section and a key: with
// no section or no key (the listing forms of Windows) the result is an empty
// list and 0. A file that cannot be read reads as one without the key.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "platform/posix/drive_map.h"
#include "platform/posix/ini_reader.h"
#include "platform/posix/posix_functions.h"

namespace {

bool ReadWholeFile(const char* dosPath, std::string* text) {
  std::string host;
  if (dosPath == nullptr || !DosToHostPath(dosPath, &host)) return false;
  int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  char chunk[65536];
  while (ok) {
    ssize_t got = read(fd, chunk, sizeof chunk);
    if (got == 0) break;
    if (got < 0) ok = false;
    else text->append(chunk, size_t(got));
  }
  close(fd);
  return ok;
}

// The default without its trailing spaces, as Windows takes it.
std::string_view DefaultValue(const char* defaultValue) {
  std::string_view value = defaultValue != nullptr ? defaultValue : "";
  while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
  return value;
}

}  // namespace

win::Dword WINAPI_CC PosixGetPrivateProfileStringA(const char* section, const char* key,
                                                   const char* defaultValue, char* out,
                                                   win::Dword size, const char* file) {
  if (out == nullptr || size == 0) return 0;
  if (section == nullptr || key == nullptr) {
    out[0] = '\0';
    if (size > 1) out[1] = '\0';
    return 0;
  }
  if (key[0] == '\0') {
    out[0] = '\0';
    return 0;
  }
  std::string text;
  std::string_view value;
  if (!ReadWholeFile(file, &text) || !FindProfileValue(text, section, key, &value)) {
    value = DefaultValue(defaultValue);
  }
  return CopyProfileValue(value, out, size);
}
