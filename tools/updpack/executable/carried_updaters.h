// The compiled updaters that updpack carries inside itself, one for each
// architecture: linked by this project's win32 and win64 builds with the
// manifest, the dialogs and the default version resource, but no archive.
// build-exe writes a release's resources into a copy of one of them, so no
// compiler, linker or resource compiler runs at release time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct CarriedUpdater {
  const uint8_t* bytes;
  size_t size;
};

// The updater of "win32" or "win64"; false for another name.
bool FindCarriedUpdater(const std::string& architecture, CarriedUpdater* updater);
