// Feeds arbitrary streams to the decompressor. The first two bytes of the
// input give the destination size (little-endian), the rest is the stream.
// The destination is a block of exactly that size, so any write past it is
// an overrun the address sanitizer reports; bytes behind the decoded output
// must keep the fill they had.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/decompress.h"

namespace {

constexpr uint8_t kFill = 0xA5;

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t destinationSize = size_t(data[0]) | size_t(data[1]) << 8;
  const uint8_t* stream = data + 2;
  const size_t streamSize = size - 2;

  std::vector<uint8_t> destination(destinationSize, kFill);
  size_t produced = SIZE_MAX;
  const bool ended =
      Decompress(destination.data(), destinationSize, stream, streamSize, &produced);
  Check(produced <= destinationSize);
  // One comparison call rather than an instrumented loop over up to 64 KiB.
  static const std::vector<uint8_t> fill(0x10000, kFill);
  Check(produced == destinationSize ||
        std::memcmp(destination.data() + produced, fill.data(), destinationSize - produced) == 0);

  // A sound stream gives the same bytes in a block of exactly its output
  // size, and fails in any smaller one without writing past it.
  if (ended) {
    std::vector<uint8_t> exact(produced);
    size_t again = SIZE_MAX;
    Check(Decompress(exact.data(), exact.size(), stream, streamSize, &again));
    Check(again == produced);
    Check(produced == 0 || std::memcmp(exact.data(), destination.data(), produced) == 0);
    if (produced > 0) {
      std::vector<uint8_t> tooSmall(produced - 1);
      Check(!Decompress(tooSmall.data(), tooSmall.size(), stream, streamSize, &again));
      Check(again < produced);
    }
  }
  return 0;
}
