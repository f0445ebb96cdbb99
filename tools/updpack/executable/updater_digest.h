// The digest an updater carries of its archive: resource "UPDATE" 103, the
// 32-byte SHA-256 of resource "UPDATE" 102 (see core/archive_digest.h),
// computed here with OpenSSL's libcrypto, reading the archive a piece at a
// time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class InputFile;
struct PeImage;

enum class DigestState { kNone, kMatches, kMismatch };

// The SHA-256 of the `count` bytes of `file` from `offset`. False with
// `error` set when they cannot be read or hashed.
bool Sha256Of(const InputFile& file, uint64_t offset, uint64_t count, std::vector<uint8_t>* digest,
              std::string* error);

// The state of the digest of the updater `file` (read as `image`) in
// `state`, with a word on what differs in `detail` when it does not match.
// False with `error` set when the file cannot be read.
bool CheckUpdaterDigest(const InputFile& file, const PeImage& image, DigestState* state,
                        std::string* detail, std::string* error);

// "digest matches", "digest does not match" or "no digest".
const char* DigestStateText(DigestState state);
