// Feeds arbitrary streams to the decompressor. The first two bytes of the
// input give the destination size (little-endian), the rest is the stream.
// The destination is a block of exactly that size, so any write past it is
// an overrun the address sanitizer reports; bytes behind the decoded output
// must keep the fill they had, a pattern that differs from place to place
// so that a byte put back at the wrong place shows.
//
// The same stream decoded in pieces, with a recorded size sixteen times the
// destination's (so that long outputs slide the window), gives the verdict
// and the bytes of Decompress into a block of that size.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/decompress.h"

namespace {

uint8_t Fill(size_t place) { return uint8_t(place * 37 + (place >> 8) + 0xA5); }

const std::vector<uint8_t>& FillPattern() {
  static const std::vector<uint8_t> pattern = [] {
    std::vector<uint8_t> p(0x10000);
    for (size_t i = 0; i < p.size(); ++i) p[i] = Fill(i);
    return p;
  }();
  return pattern;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

// Decodes in source pieces of `pieceSize` bytes (each in a block of its
// own) through a window of the least size, and compares with Decompress.
void CheckPieces(const uint8_t* stream, size_t streamSize, size_t limit, size_t pieceSize) {
  std::vector<uint8_t> whole(limit);
  size_t produced = 0;
  const bool ended = Decompress(whole.data(), limit, stream, streamSize, &produced);

  std::vector<uint8_t> window(decode_limits::kMinDecodeWindow);
  PieceDecoder decoder(window.data(), window.size(), limit);
  std::vector<uint8_t> output;
  size_t at = 0;
  PieceStatus status;
  for (;;) {
    const size_t size = pieceSize < streamSize - at ? pieceSize : streamSize - at;
    const std::vector<uint8_t> piece(stream + at, stream + at + size);
    size_t taken = 0;
    status = decoder.Decode(piece.data(), size, at + size == streamSize, &taken);
    Check(taken <= size);
    output.insert(output.end(), decoder.output(), decoder.output() + decoder.outputSize());
    decoder.TakeOutput();
    at += taken;
    if (status == PieceStatus::kEnded || status == PieceStatus::kMalformed) break;
    Check(!(status == PieceStatus::kNeedSource && at + size == streamSize && taken == size));
  }
  Check((status == PieceStatus::kEnded) == ended);
  Check(output.size() == produced);
  Check(produced == 0 || std::memcmp(output.data(), whole.data(), produced) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t destinationSize = size_t(data[0]) | size_t(data[1]) << 8;
  const uint8_t* stream = data + 2;
  const size_t streamSize = size - 2;

  const std::vector<uint8_t>& fill = FillPattern();
  std::vector<uint8_t> destination(fill.begin(), fill.begin() + destinationSize);
  size_t produced = SIZE_MAX;
  const bool ended = Decompress(destination.data(), destinationSize, stream, streamSize, &produced);
  Check(produced <= destinationSize);
  // One comparison call rather than an instrumented loop over up to 64 KiB.
  Check(produced == destinationSize ||
        std::memcmp(destination.data() + produced, fill.data() + produced,
                    destinationSize - produced) == 0);

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
  CheckPieces(stream, streamSize, destinationSize * 16,
              decode_limits::kMinDecodeSource + size_t(data[1]) * 13);
  return 0;
}
