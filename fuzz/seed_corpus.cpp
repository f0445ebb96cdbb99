// Writes the seed corpus of the decompressor and archive fuzzers: the
// hand-made example streams and streams from the packer's compressor for
// decompress_fuzzer, archives in every directory form with plain, scrambled
// and compressed entries for archive_fuzzer.
// Usage: fuzz_seed_corpus <decompress folder> <archive folder>
#include <cstdio>
#include <string>
#include <vector>

#include "authoring/archive_writer.h"
#include "authoring/compressor.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<uint8_t> Compress(const uint8_t* data, size_t size) {
  return CompressStream(data, size);
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Runs, repeats at short and far distances, and noise: every token kind.
Bytes Mixed(size_t size) {
  Bytes out;
  uint32_t x = 7;
  while (out.size() < size) {
    x = x * 1103515245u + 12345u;
    switch ((x >> 16) % 4) {
      case 0: out.insert(out.end(), 5 + (x >> 8) % 40, uint8_t(x >> 24)); break;
      case 1:
        for (int i = 0; i < 12; ++i) out.push_back(uint8_t("abcabd"[i % 6]));
        break;
      case 2:
        if (out.size() > 3000) {
          const size_t from = out.size() - 3000 + (x >> 8) % 1000;
          for (size_t i = 0; i < 30; ++i) out.push_back(out[from + i]);
        }
        break;
      default:
        for (int i = 0; i < 8; ++i) out.push_back(uint8_t(x >> (i * 3)));
    }
  }
  out.resize(size);
  return out;
}

bool WriteFile(const std::string& path, const Bytes& content) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
  return std::fclose(f) == 0 && ok;
}

// decompress_fuzzer input: destination size (16 bits) then the stream.
Bytes DecompressSeed(size_t destinationSize, const Bytes& stream) {
  Bytes seed = {uint8_t(destinationSize), uint8_t(destinationSize >> 8)};
  seed.insert(seed.end(), stream.begin(), stream.end());
  return seed;
}

struct HandStream {
  Bytes stream;
  uint32_t outputSize;
};

std::vector<HandStream> HandStreams() {
  Bytes forty = {0xFD, 0xFF, 0xFF, 0xFF};
  for (uint8_t c = 0x61; c <= 0x7E; ++c) forty.push_back(c);
  for (uint8_t b : {0x00, 0x00, 0x00, 0x3E, 0x00, 0xFF}) forty.push_back(b);
  return {
      {{0x00, 0x00, 0x00, 0x7C, 0xFF}, 0},
      {{0x00, 0xE0, 0x93, 0xC8, 0x41, 0x42, 0x00, 0x01, 0xFF}, 9},
      {forty, 32},
  };
}

ArchiveItem Item(const std::string& name, const Bytes& data, bool compress, bool scramble) {
  ArchiveItem item;
  item.name = name;
  item.data = data;
  item.compress = compress;
  item.scramble = scramble;
  item.fileTime = {0x12345678, 0x01D00000};
  return item;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <decompress folder> <archive folder>\n", argv[0]);
    return 2;
  }
  const std::string decompressDir = argv[1], archiveDir = argv[2];
  bool ok = true;

  const Bytes ini = Text(
      "[SETUP]\r\nCompanyName=Example\r\nGameDir=Game\r\n[UPDATE]\r\n"
      "UpdateFile00=data\\a.dat\r\nUpdateFile01=data\\b.dat\r\n");
  int n = 0;
  for (const HandStream& s : HandStreams()) {
    ok &= WriteFile(decompressDir + "/hand" + std::to_string(n++),
                    DecompressSeed(s.outputSize, s.stream));
  }
  n = 0;
  for (const Bytes& data : {ini, Mixed(600), Mixed(20000)}) {
    ok &= WriteFile(decompressDir + "/packed" + std::to_string(n++),
                    DecompressSeed(data.size(), Compress(data.data(), data.size())));
  }

  ArchiveOptions options;
  options.compress = Compress;
  std::vector<ArchiveItem> plainItems = {
      Item("UPDATE.INI", ini, false, false),
      Item("data\\a.dat", Text("abcabcabcabc"), false, true),
      Item("empty.bin", {}, false, false),
  };
  std::vector<ArchiveItem> compressedItems = {
      Item("UPDATE.INI", ini, true, false),
      Item("data\\b.dat", Mixed(2000), true, true),
  };
  n = 0;
  for (const HandStream& s : HandStreams()) {
    ArchiveItem item = Item("hand" + std::to_string(n++), s.stream, false, false);
    item.precompressed = true;
    item.unpackedSize = s.outputSize;
    compressedItems.push_back(item);
  }

  n = 0;
  for (DirectoryForm form : {DirectoryForm::kPlain, DirectoryForm::kScrambled,
                             DirectoryForm::kCompressed, DirectoryForm::kCompressedScrambled}) {
    options.directory = form;
    for (const auto* items : {&plainItems, &compressedItems}) {
      Bytes image;
      std::string error;
      if (!BuildArchive(*items, options, &image, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
      }
      ok &= WriteFile(archiveDir + "/archive" + std::to_string(n++), image);
    }
  }
  Bytes empty;
  std::string error;
  options.directory = DirectoryForm::kPlain;
  ok &= BuildArchive({}, options, &empty, &error) && WriteFile(archiveDir + "/empty", empty);

  if (!ok) {
    std::fprintf(stderr, "cannot write the seed corpus\n");
    return 1;
  }
  return 0;
}
