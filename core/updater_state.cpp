#include "core/updater_state.h"

#include <cstring>

#include "texts.h"

UpdaterState updaterState;

void ResetUpdaterState() {
  std::memset(&updaterState, 0, sizeof updaterState);
  std::memcpy(updaterState.caption, kCaptionDefault, sizeof kCaptionDefault);
}

namespace {
// The caption is "UPDATE" before anything else runs.
struct InitialCaption {
  InitialCaption() { ResetUpdaterState(); }
} initialCaption;
}  // namespace
