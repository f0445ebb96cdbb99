// The digest an updater carries of its archive: resource "UPDATE" 103, the
// 32-byte SHA-256 of resource "UPDATE" 102 (see core/archive_digest.h),
// computed here with OpenSSL's libcrypto.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PeImage;

enum class DigestState { kNone, kMatches, kMismatch };

std::vector<uint8_t> Sha256(const uint8_t* data, size_t size);

// The state of the digest of `file` (an updater read as `image`), with a
// word on what differs in `detail` when it does not match.
DigestState CheckUpdaterDigest(const std::vector<uint8_t>& file, const PeImage& image,
                               std::string* detail);

// "digest matches", "digest does not match" or "no digest".
const char* DigestStateText(DigestState state);
