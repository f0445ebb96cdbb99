// SHA-256 by the system's cryptography: the digest of known texts, and
// every step that can fail makes the whole computation fail.
#include "core/system_sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/platform.h"
#include "tests/support/fault_injector.h"
#include "tests/support/test_platform.h"

namespace {

class SystemSha256 : public UpdaterTest {};

std::string Hex(const uint8_t* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (size_t i = 0; i < size; ++i) {
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 15];
  }
  return hex;
}

TEST_F(SystemSha256, DigestOfAKnownText) {
  const std::string text = "abc";
  uint8_t digest[kSha256Size];
  ASSERT_TRUE(ComputeSystemSha256(PlatformLoader(), reinterpret_cast<const uint8_t*>(text.data()),
                                  uint32_t(text.size()), digest));
  EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
            Hex(digest, kSha256Size));
}

TEST_F(SystemSha256, AFailedStepFailsTheDigest) {
  const std::vector<uint8_t> data(1000, 'x');
  for (const char* step : {"BCryptOpenAlgorithmProvider", "BCryptGetProperty", "BCryptCreateHash",
                           "BCryptHashData", "BCryptFinishHash"}) {
    FaultInjector injector;
    injector.FailAt(step, 1);
    uint8_t digest[kSha256Size];
    EXPECT_FALSE(ComputeSystemSha256(PlatformLoader(), data.data(), uint32_t(data.size()), digest))
        << step;
    EXPECT_TRUE(injector.Fired()) << step;
  }
}

}  // namespace
