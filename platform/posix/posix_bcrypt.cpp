// The SHA-256 functions of BCRYPT.DLL over OpenSSL's libcrypto, with CNG's
// contracts: NTSTATUS results (0 success, negative failure), an algorithm
// opened by its UTF-16 name, a hash object whose memory the caller offers
// (its size asked for as "ObjectLength").
#include <openssl/evp.h>

#include <cstring>

#include "platform/posix/posix_functions.h"

namespace {

constexpr win::Long kStatusSuccess = 0;
constexpr win::Long kStatusInvalidParameter = win::Long(0xC000000Du);
constexpr win::Long kStatusNotFound = win::Long(0xC0000225u);
constexpr win::Long kStatusBufferTooSmall = win::Long(0xC0000023u);
constexpr win::Long kStatusUnsuccessful = win::Long(0xC0000001u);

constexpr win::Dword kObjectLength = 64;  // what the caller is asked to offer
constexpr win::Dword kDigestSize = 32;

// The one algorithm this layer offers; its handle is this object's address.
struct Algorithm {
  const EVP_MD* digest;
};
Algorithm sha256Algorithm;

bool SameText(const char16_t* a, const char16_t* b) {
  if (a == nullptr) return false;
  while (*a != 0 && *a == *b) ++a, ++b;
  return *a == *b;
}

}  // namespace

win::Long WINAPI_CC PosixBCryptOpenAlgorithmProvider(void** algorithm, const char16_t* id,
                                                     const char16_t* implementation,
                                                     win::Dword flags) {
  if (algorithm == nullptr || implementation != nullptr || flags != 0) {
    return kStatusInvalidParameter;
  }
  if (!SameText(id, u"SHA256")) return kStatusNotFound;
  sha256Algorithm.digest = EVP_sha256();
  *algorithm = &sha256Algorithm;
  return kStatusSuccess;
}

win::Long WINAPI_CC PosixBCryptGetProperty(void* object, const char16_t* property, uint8_t* out,
                                           win::Dword size, win::Dword* written, win::Dword) {
  if (object != &sha256Algorithm || written == nullptr) return kStatusInvalidParameter;
  win::Dword value;
  if (SameText(property, u"ObjectLength")) {
    value = kObjectLength;
  } else if (SameText(property, u"HashDigestLength")) {
    value = kDigestSize;
  } else {
    return kStatusNotFound;
  }
  *written = sizeof value;
  if (out == nullptr || size < sizeof value) return kStatusBufferTooSmall;
  std::memcpy(out, &value, sizeof value);
  return kStatusSuccess;
}

win::Long WINAPI_CC PosixBCryptCreateHash(void* algorithm, void** hash, uint8_t* object,
                                          win::Dword objectSize, uint8_t*, win::Dword secretSize,
                                          win::Dword) {
  if (algorithm != &sha256Algorithm || hash == nullptr || secretSize != 0) {
    return kStatusInvalidParameter;
  }
  if (object != nullptr && objectSize < kObjectLength) return kStatusBufferTooSmall;
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  if (context == nullptr) return kStatusUnsuccessful;
  if (EVP_DigestInit_ex(context, sha256Algorithm.digest, nullptr) != 1) {
    EVP_MD_CTX_free(context);
    return kStatusUnsuccessful;
  }
  *hash = context;
  return kStatusSuccess;
}

win::Long WINAPI_CC PosixBCryptHashData(void* hash, uint8_t* data, win::Dword size, win::Dword) {
  if (hash == nullptr || (data == nullptr && size != 0)) return kStatusInvalidParameter;
  return EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(hash), data, size) == 1 ? kStatusSuccess
                                                                           : kStatusUnsuccessful;
}

win::Long WINAPI_CC PosixBCryptFinishHash(void* hash, uint8_t* out, win::Dword size, win::Dword) {
  if (hash == nullptr || out == nullptr || size != kDigestSize) return kStatusInvalidParameter;
  return EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(hash), out, nullptr) == 1
             ? kStatusSuccess
             : kStatusUnsuccessful;
}

win::Long WINAPI_CC PosixBCryptDestroyHash(void* hash) {
  if (hash == nullptr) return kStatusInvalidParameter;
  EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(hash));
  return kStatusSuccess;
}

win::Long WINAPI_CC PosixBCryptCloseAlgorithmProvider(void* algorithm, win::Dword) {
  return algorithm == &sha256Algorithm ? kStatusSuccess : kStatusInvalidParameter;
}
