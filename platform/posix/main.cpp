// Entry of the POSIX build: the updater's archive is appended to this
// executable (see appended_resource.h).
#include <clocale>

#include "entry/updater_main.h"
#include "platform/posix/posix_functions.h"

int main() {
  std::setlocale(LC_ALL, "");
  InstallPosixPlatform();
  return RunUpdater(PosixModuleForFile("/proc/self/exe"));
}
