#include "tools/updpack/commands/version_text.h"

#include <openssl/evp.h>

#include <cstdio>

#include "tools/updpack/executable/carried_updaters.h"

namespace {

std::string Sha256Hex(const uint8_t* bytes, size_t size) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  if (EVP_Digest(bytes, size, digest, &length, EVP_sha256(), nullptr) != 1) return "(unknown)";
  std::string hex;
  char two[3];
  for (unsigned i = 0; i < length; ++i) {
    std::snprintf(two, sizeof two, "%02x", digest[i]);
    hex += two;
  }
  return hex;
}

}  // namespace

std::string VersionText() {
  std::string text = std::string("updpack ") + UPDPACK_VERSION;
  for (const char* architecture : {"win32", "win64"}) {
    CarriedUpdater updater;
    if (!FindCarriedUpdater(architecture, &updater)) continue;
    text += std::string("\ncarries the ") + architecture +
            " updater: " + std::to_string(updater.size) + " bytes, SHA-256 " +
            Sha256Hex(updater.bytes, updater.size);
  }
  return text;
}
