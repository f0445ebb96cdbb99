#include "tools/updpack/updater_digest.h"

#include <openssl/evp.h>

#include <algorithm>

#include "authoring/pe_resources.h"
#include "core/archive_digest.h"
#include "tools/updpack/archive_input.h"

std::vector<uint8_t> Sha256(const uint8_t* data, size_t size) {
  std::vector<uint8_t> digest(kArchiveDigestSize);
  unsigned length = 0;
  if (EVP_Digest(data, size, digest.data(), &length, EVP_sha256(), nullptr) != 1 ||
      length != digest.size()) {
    digest.clear();
  }
  return digest;
}

DigestState CheckUpdaterDigest(const std::vector<uint8_t>& file, const PeImage& image,
                               std::string* detail) {
  const PeResource* stored = FindPeResource(image, PeResourceId::Name("UPDATE"),
                                            PeResourceId::Number(kArchiveDigestResourceId));
  if (stored == nullptr) return DigestState::kNone;
  const PeResource* archive = FindArchiveResource(image);
  if (stored->size != kArchiveDigestSize) {
    *detail = "the digest resource holds " + std::to_string(stored->size) + " bytes, not " +
              std::to_string(kArchiveDigestSize);
    return DigestState::kMismatch;
  }
  if (archive == nullptr) {
    *detail = "a digest but no archive";
    return DigestState::kMismatch;
  }
  const std::vector<uint8_t> computed = Sha256(file.data() + archive->offset, archive->size);
  if (computed.empty() ||
      !std::equal(computed.begin(), computed.end(), file.begin() + stored->offset)) {
    *detail = "the archive's bytes are not those the digest was made of";
    return DigestState::kMismatch;
  }
  return DigestState::kMatches;
}

const char* DigestStateText(DigestState state) {
  switch (state) {
    case DigestState::kMatches:
      return "digest matches";
    case DigestState::kMismatch:
      return "digest does not match";
    case DigestState::kNone:
      break;
  }
  return "no digest";
}
