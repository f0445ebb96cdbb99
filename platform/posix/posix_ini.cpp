// GetPrivateProfileStringA of the POSIX build: reads the settings file at a
// DOS path through the drive map and answers with settings/ini_file.h.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "platform/posix/drive_map.h"
#include "platform/posix/posix_functions.h"
#include "settings/ini_file.h"

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
    if (got < 0)
      ok = false;
    else
      text->append(chunk, size_t(got));
  }
  close(fd);
  return ok;
}

}  // namespace

win::Dword WINAPI_CC PosixGetPrivateProfileStringA(const char* section, const char* key,
                                                   const char* defaultValue, char* out,
                                                   win::Dword size, const char* file) {
  std::string text;
  const bool read = section != nullptr && key != nullptr && ReadWholeFile(file, &text);
  const std::string_view view = text;
  return AnswerProfileQuery(read ? &view : nullptr, section, key, defaultValue, out, size);
}
