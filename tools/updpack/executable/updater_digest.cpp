#include "tools/updpack/executable/updater_digest.h"

#include <openssl/evp.h>

#include <memory>

#include "authoring/pe_resources.h"
#include "core/archive_digest.h"
#include "tools/updpack/commands/tool_messages.h"
#include "tools/updpack/files/archive_input.h"
#include "tools/updpack/files/input_file.h"

bool Sha256Of(const InputFile& file, uint64_t offset, uint64_t count, std::vector<uint8_t>* digest,
              std::string* error) {
  const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(),
                                                                   EVP_MD_CTX_free);
  const std::string failed = "cannot compute the SHA-256 digest of " + Quoted(file.path());
  if (context == nullptr || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
    *error = failed;
    return false;
  }
  const bool read = file.ReadPieces(
      offset, count,
      [&](const uint8_t* piece, size_t size, std::string* why) {
        if (EVP_DigestUpdate(context.get(), piece, size) == 1) return true;
        *why = failed;
        return false;
      },
      error);
  if (!read) return false;
  digest->assign(kArchiveDigestSize, 0);
  unsigned length = 0;
  if (EVP_DigestFinal_ex(context.get(), digest->data(), &length) != 1 || length != digest->size()) {
    *error = failed;
    return false;
  }
  return true;
}

bool CheckUpdaterDigest(const InputFile& file, const PeImage& image, DigestState* state,
                        std::string* detail, std::string* error) {
  const PeResource* stored = FindPeResource(image, PeResourceId::Name("UPDATE"),
                                            PeResourceId::Number(kArchiveDigestResourceId));
  *state = DigestState::kMismatch;
  if (stored == nullptr) {
    *state = DigestState::kNone;
    return true;
  }
  const PeResource* archive = FindArchiveResource(image);
  if (stored->size != kArchiveDigestSize) {
    *detail = "the digest resource holds " + std::to_string(stored->size) + " bytes, not " +
              std::to_string(kArchiveDigestSize);
    return true;
  }
  if (archive == nullptr) {
    *detail = "a digest but no archive";
    return true;
  }
  std::vector<uint8_t> carried(kArchiveDigestSize), computed;
  if (!file.ReadAt(stored->offset, carried.data(), carried.size(), error) ||
      !Sha256Of(file, archive->offset, archive->size, &computed, error)) {
    return false;
  }
  if (computed != carried) {
    *detail = "the archive's bytes are not those the digest was made of";
    return true;
  }
  *state = DigestState::kMatches;
  return true;
}

const char* DigestStateText(DigestState state) {
  switch (state) {
    case DigestState::kMatches: return "digest matches";
    case DigestState::kMismatch: return "digest does not match";
    case DigestState::kNone: break;
  }
  return "no digest";
}
