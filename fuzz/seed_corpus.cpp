// Writes the fuzzers' seed corpus: sound streams (the hand-made examples and
// literal-only streams) for decompress_fuzzer, and archives in every
// directory form with plain, scrambled and compressed entries for
// archive_fuzzer. Usage: fuzz_seed_corpus <decompress folder> <archive folder>
#include <cstdio>
#include <string>
#include <vector>

#include "authoring/archive_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The stream's bit placement: a control word is reserved where its first bit
// is written, data bytes follow at the end.
class BitWriter {
 public:
  void Bit(unsigned bit) {
    if (used_ == 32) {
      wordAt_ = out_.size();
      out_.resize(out_.size() + 4, 0);
      used_ = 0;
    }
    if (bit) out_[wordAt_ + 3 - used_ / 8] |= uint8_t(0x80 >> (used_ % 8));
    ++used_;
  }
  void Byte(uint8_t value) { out_.push_back(value); }
  Bytes Take() { return std::move(out_); }

 private:
  Bytes out_;
  size_t wordAt_ = 0;
  int used_ = 32;
};

// A sound stream of literal tokens only, closed by the end marker.
Bytes LiteralStream(const uint8_t* data, size_t size) {
  BitWriter w;
  for (size_t i = 0; i < size; ++i) {
    w.Bit(1);
    w.Byte(data[i]);
  }
  for (unsigned bit : {0, 1, 1}) w.Bit(bit);
  w.Byte(0xFF);
  for (unsigned bit : {1, 1, 1}) w.Bit(bit);
  return w.Take();
}

std::vector<uint8_t> LiteralCompress(const uint8_t* data, size_t size) {
  return LiteralStream(data, size);
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

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
  int n = 0;

  for (const HandStream& s : HandStreams()) {
    ok &= WriteFile(decompressDir + "/hand" + std::to_string(n++), DecompressSeed(s.outputSize, s.stream));
  }
  const Bytes ini = Text("[SETUP]\r\nCompanyName=Example\r\nGameDir=Game\r\n[UPDATE]\r\nUpdateFile00=data\\a.dat\r\n");
  ok &= WriteFile(decompressDir + "/literals", DecompressSeed(ini.size(), LiteralStream(ini.data(), ini.size())));

  ArchiveOptions options;
  options.compress = LiteralCompress;
  std::vector<ArchiveItem> plainItems = {
      Item("UPDATE.INI", ini, false, false),
      Item("data\\a.dat", Text("abcabcabcabc"), false, true),
      Item("empty.bin", {}, false, false),
  };
  std::vector<ArchiveItem> compressedItems = {
      Item("UPDATE.INI", ini, true, false),
      Item("data\\b.dat", Text("0123456789abcdef0123"), true, true),
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
