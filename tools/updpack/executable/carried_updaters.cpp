#include "tools/updpack/executable/carried_updaters.h"

extern "C" {
extern const uint8_t updpack_win32_updater_start[];
extern const uint8_t updpack_win32_updater_end[];
extern const uint8_t updpack_win64_updater_start[];
extern const uint8_t updpack_win64_updater_end[];
}

bool FindCarriedUpdater(const std::string& architecture, CarriedUpdater* updater) {
  if (architecture == "win32") {
    *updater = {updpack_win32_updater_start,
                size_t(updpack_win32_updater_end - updpack_win32_updater_start)};
    return true;
  }
  if (architecture == "win64") {
    *updater = {updpack_win64_updater_start,
                size_t(updpack_win64_updater_end - updpack_win64_updater_start)};
    return true;
  }
  return false;
}
