// Decoding speed and compressed size of the archive's format against memcpy,
// LZ4, zlib and libdeflate on game-update-like data, the packer's speed, and the speed
// of the start-up's digest check of a 100 MB archive. Run on demand from a
// Release build; the last lines are "name: value" figures.
#include <libdeflate.h>
#include <lz4.h>
#include <lz4hc.h>
#include <time.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "archive/content_stream.h"
#include "archive/decompress.h"
#include "authoring/compressor.h"
#include "bench/sample_data.h"
#include "core/platform.h"
#include "core/system_functions.h"
#include "core/system_sha256.h"
#include "platform/posix/posix_functions.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Processor time of this thread, or of the whole process: other work on the
// machine does not count.
double CpuSeconds(clockid_t clock) {
  timespec t;
  clock_gettime(clock, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}
double ThreadSeconds() { return CpuSeconds(CLOCK_THREAD_CPUTIME_ID); }
double ProcessSeconds() { return CpuSeconds(CLOCK_PROCESS_CPUTIME_ID); }

// The fastest of repeated runs: at least five, and at least a quarter of a
// second in all.
double BestSeconds(const std::function<void()>& run) {
  double best = 1e30, total = 0;
  for (int i = 0; i < 5 || total < 0.25; ++i) {
    const double start = ThreadSeconds();
    run();
    const double s = ThreadSeconds() - start;
    best = s < best ? s : best;
    total += s;
  }
  return best;
}

void Require(bool condition, const char* what, const Sample& sample) {
  if (condition) return;
  std::fprintf(stderr, "%s failed on %s\n", what, sample.name.c_str());
  std::exit(1);
}

// Totals over all samples: bytes, seconds per codec, compressed sizes.
struct Totals {
  double bytes = 0;
  double ours = 0, pieces = 0, memcpy = 0, lz4 = 0, zlib = 0, libdeflate = 0, pack = 0, packCpu = 0;
  double oursSize = 0, zlibSize = 0, lz4hcSize = 0;
};

constexpr int kPackRuns = 3;

// The decoded pieces copied on, as a file write would take them.
class CopySink final : public ContentSink {
 public:
  explicit CopySink(uint8_t* to) : to_(to) {}
  bool Take(const uint8_t* bytes, size_t size) override {
    std::memcpy(to_, bytes, size);
    to_ += size;
    return true;
  }

 private:
  uint8_t* to_;
};

// The updater's way of an entry: decoded in pieces through the working
// block, each piece copied on.
bool DecodeEntryInPieces(const Bytes& stream, uint8_t* output, size_t size, uint8_t* work) {
  ArchiveEntry entry{};
  entry.flags = kEntryCompressed;
  entry.unpackedSize = uint32_t(size);
  entry.storedSize = uint32_t(stream.size());
  CopySink sink(output);
  return ProduceContentFrom(entry, stream.data(), work, sink) == ContentResult::kOk;
}
constexpr int kLibdeflateLevel = 12;  // its highest

void Measure(const Sample& sample, Totals* totals) {
  const Bytes& input = sample.bytes;
  const size_t n = input.size();
  Bytes output(n);

  // The packer runs threads of its own: wall time, and the processor time
  // of all threads, of the fastest of a few runs (each must give the same
  // stream), as other work on the machine slows some of them.
  Bytes ours;
  double pack = 0, packCpu = 0;
  for (int run = 0; run < kPackRuns; ++run) {
    const auto packStart = std::chrono::steady_clock::now();
    const double packCpuStart = ProcessSeconds();
    Bytes stream = CompressStream(input.data(), n);
    const double cpu = ProcessSeconds() - packCpuStart;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - packStart).count();
    Require(run == 0 || stream == ours, "CompressStream repeating itself", sample);
    if (run == 0 || wall < pack) pack = wall, packCpu = cpu;
    ours = std::move(stream);
  }

  uLongf zlibBound = compressBound(uLong(n));
  Bytes zlib(zlibBound);
  Require(compress2(zlib.data(), &zlibBound, input.data(), uLong(n), 9) == Z_OK, "zlib", sample);
  zlib.resize(zlibBound);

  Bytes lz4hc(static_cast<size_t>(LZ4_compressBound(int(n))));
  const int lz4hcSize = LZ4_compress_HC(reinterpret_cast<const char*>(input.data()),
                                        reinterpret_cast<char*>(lz4hc.data()), int(n),
                                        int(lz4hc.size()), LZ4HC_CLEVEL_MAX);
  Require(lz4hcSize > 0, "LZ4HC", sample);
  lz4hc.resize(size_t(lz4hcSize));

  libdeflate_compressor* deflater = libdeflate_alloc_compressor(kLibdeflateLevel);
  Require(deflater != nullptr, "libdeflate_alloc_compressor", sample);
  Bytes deflated(libdeflate_deflate_compress_bound(deflater, n));
  deflated.resize(
      libdeflate_deflate_compress(deflater, input.data(), n, deflated.data(), deflated.size()));
  libdeflate_free_compressor(deflater);
  Require(!deflated.empty(), "libdeflate compress", sample);

  // Each decoder must give the input back before it is timed.
  size_t produced = 0;
  Require(Decompress(output.data(), n, ours.data(), ours.size(), &produced) && produced == n &&
              output == input,
          "Decompress", sample);
  const double oursTime =
      BestSeconds([&] { Decompress(output.data(), n, ours.data(), ours.size(), &produced); });

  Bytes work(kContentWorkSize);
  std::fill(output.begin(), output.end(), 0);
  Require(DecodeEntryInPieces(ours, output.data(), n, work.data()) && output == input,
          "decoding in pieces", sample);
  const double piecesTime =
      BestSeconds([&] { DecodeEntryInPieces(ours, output.data(), n, work.data()); });

  const double memcpyTime = BestSeconds([&] { std::memcpy(output.data(), input.data(), n); });

  std::fill(output.begin(), output.end(), 0);
  Require(
      LZ4_decompress_safe(reinterpret_cast<const char*>(lz4hc.data()),
                          reinterpret_cast<char*>(output.data()), lz4hcSize, int(n)) == int(n) &&
          output == input,
      "LZ4 decode", sample);
  const double lz4Time = BestSeconds([&] {
    LZ4_decompress_safe(reinterpret_cast<const char*>(lz4hc.data()),
                        reinterpret_cast<char*>(output.data()), lz4hcSize, int(n));
  });

  std::fill(output.begin(), output.end(), 0);
  uLongf inflated = uLongf(n);
  Require(uncompress(output.data(), &inflated, zlib.data(), uLong(zlib.size())) == Z_OK &&
              inflated == n && output == input,
          "zlib inflate", sample);
  const double zlibTime = BestSeconds([&] {
    uLongf size = uLongf(n);
    uncompress(output.data(), &size, zlib.data(), uLong(zlib.size()));
  });

  libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
  Require(inflater != nullptr, "libdeflate_alloc_decompressor", sample);
  std::fill(output.begin(), output.end(), 0);
  size_t deflateOut = 0;
  Require(libdeflate_deflate_decompress(inflater, deflated.data(), deflated.size(), output.data(),
                                        n, &deflateOut) == LIBDEFLATE_SUCCESS &&
              deflateOut == n && output == input,
          "libdeflate decode", sample);
  const double libdeflateTime = BestSeconds([&] {
    libdeflate_deflate_decompress(inflater, deflated.data(), deflated.size(), output.data(), n,
                                  nullptr);
  });
  libdeflate_free_decompressor(inflater);

  const double mb = n / 1e6;
  std::printf(
      "%-7s %-40s %9zu | %9zu %9zu %9zu %10zu | %8.0f %8.0f %8.0f %8.0f %8.0f %10.0f | %6.1f\n",
      sample.name.c_str(), sample.origin.c_str(), n, ours.size(), zlib.size(), lz4hc.size(),
      deflated.size(), mb / oursTime, mb / piecesTime, mb / memcpyTime, mb / lz4Time, mb / zlibTime,
      mb / libdeflateTime, mb / pack);

  totals->bytes += n;
  totals->ours += oursTime, totals->pieces += piecesTime, totals->memcpy += memcpyTime,
      totals->lz4 += lz4Time;
  totals->zlib += zlibTime, totals->pack += pack, totals->packCpu += packCpu;
  totals->libdeflate += libdeflateTime;
  totals->oursSize += ours.size(), totals->zlibSize += zlib.size();
  totals->lz4hcSize += lz4hc.size();
}

// The digest check as the updater makes it at start-up, through the
// platform's hashing (here the POSIX layer's, over libcrypto), on 100 MB.
double DigestMegabytesPerSecond() {
  InstallPosixPlatform();
  Bytes archive(100000000);
  uint32_t x = 1;
  for (uint8_t& b : archive) b = uint8_t((x = x * 1664525u + 1013904223u) >> 24);
  uint8_t digest[kSha256Size];
  bool ok = true;
  const double seconds = BestSeconds([&] {
    ok &= ComputeSystemSha256(PlatformLoader(), archive.data(), uint32_t(archive.size()), digest);
  });
  if (!ok) {
    std::fprintf(stderr, "the platform's SHA-256 failed\n");
    std::exit(1);
  }
  return archive.size() / 1e6 / seconds;
}

}  // namespace

int main() {
  std::vector<Sample> samples = {ScriptTextSample(2 << 20), BitmapSample(640, 480), CodeSample(),
                                 AudioSample(1 << 20)};
  std::printf("%-7s %-40s %9s | %9s %9s %9s %10s | %8s %8s %8s %8s %8s %10s | %6s\n", "sample",
              "origin", "bytes", "ours", "zlib-9", "lz4hc-12", "libdefl-12", "ours", "pieces",
              "memcpy", "lz4", "inflate", "libdeflate", "pack");
  std::printf("%-7s %-40s %9s | %40s | %55s | %6s\n", "", "", "", "compressed bytes", "decode MB/s",
              "MB/s");
  Totals t;
  for (const Sample& sample : samples) {
    if (sample.bytes.empty()) {
      std::printf("%-7s skipped: %s\n", sample.name.c_str(), sample.origin.c_str());
      continue;
    }
    Measure(sample, &t);
  }
  // Repetitive inputs, apart from the totals of the four samples above: the
  // packer's speed where its exact pass gives up (zeros past 4 MiB are taken
  // chunk by chunk).
  Totals repetitive;
  for (const Sample& sample :
       {ZerosSample(8 << 20), PeriodSample(4 << 20), RunsInNoiseSample(4 << 20)}) {
    Measure(sample, &repetitive);
  }
  // Speeds over all samples together: total bytes over total best times.
  const double mb = t.bytes / 1e6;
  std::printf("decode_mb_s: %.0f\n", mb / t.ours);
  std::printf("decode_pieces_mb_s: %.0f\n", mb / t.pieces);
  std::printf("pieces_vs_whole: %.2f\n", t.ours / t.pieces);
  std::printf("decode_vs_memcpy: %.3f\n", t.memcpy / t.ours);
  std::printf("decode_vs_lz4: %.2f\n", t.lz4 / t.ours);
  std::printf("decode_vs_zlib: %.2f\n", t.zlib / t.ours);
  std::printf("decode_vs_libdeflate: %.2f\n", t.libdeflate / t.ours);
  std::printf("ratio_vs_zlib9: %.3f\n", t.oursSize / t.zlibSize);
  std::printf("ratio_vs_lz4hc: %.3f\n", t.oursSize / t.lz4hcSize);
  std::printf("pack_mb_s: %.1f\n", mb / t.pack);
  std::printf("pack_cpu_mb_s: %.1f\n", mb / t.packCpu);
  std::printf("repetitive_pack_mb_s: %.1f\n", repetitive.bytes / 1e6 / repetitive.pack);
  std::printf("repetitive_pack_cpu_mb_s: %.1f\n", repetitive.bytes / 1e6 / repetitive.packCpu);
  std::printf("digest_mb_s: %.0f\n", DigestMegabytesPerSecond());
  return 0;
}
