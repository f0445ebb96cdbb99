// Prints what the Wine and kit tests check in an executable: its machine,
// its resources, its version strings and its manifest; or writes one
// resource's bytes to a file.
//
// Usage: pe_report FILE                       print everything, UTF-8
//        pe_report FILE TYPE NAME             print where that resource's
//                                             bytes lie: offset and size
//        pe_report FILE TYPE NAME OUTPUT      write that resource's bytes
//   TYPE and NAME are names, or numbers written #24.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "authoring/pe_resources.h"
#include "authoring/pe_version_info.h"

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "pe_report: %s\n", message.c_str());
  return 1;
}

PeResourceId ParseId(const std::string& text) {
  if (text.size() > 1 && text[0] == '#') {
    return PeResourceId::Number(uint16_t(std::strtoul(text.c_str() + 1, nullptr, 10)));
  }
  return PeResourceId::Name(text);
}

void PrintVersion(const std::vector<uint8_t>& file, const PeResource& r) {
  PeVersionInfo info;
  std::string error;
  if (!ReadPeVersionInfo(file.data() + r.offset, r.size, &info, &error)) {
    std::printf("version-error %s\n", error.c_str());
    return;
  }
  const uint16_t* f = info.fileVersion;
  const uint16_t* p = info.productVersion;
  std::printf("fixed-file-version %u.%u.%u.%u\n", f[0], f[1], f[2], f[3]);
  std::printf("fixed-product-version %u.%u.%u.%u\n", p[0], p[1], p[2], p[3]);
  for (const PeVersionString& s : info.strings) {
    std::printf("string %s %s=%s\n", s.table.c_str(), s.key.c_str(), s.value.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: pe_report FILE [TYPE NAME [OUTPUT]]\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) return Fail(std::string("cannot read ") + argv[1]);
  const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  PeImage image;
  std::string error;
  if (!ReadPeImage(file.data(), file.size(), &image, &error)) return Fail(error);

  if (argc >= 4) {
    const PeResource* r = FindPeResource(image, ParseId(argv[2]), ParseId(argv[3]));
    if (r == nullptr) return Fail(std::string("no resource ") + argv[2] + " " + argv[3]);
    if (argc == 4) {
      std::printf("%zu %u\n", size_t(r->offset), unsigned(r->size));
      return 0;
    }
    std::ofstream out(argv[4], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data() + r->offset), r->size);
    return out ? 0 : Fail(std::string("cannot write ") + argv[4]);
  }

  std::printf("machine 0x%04x %s\n", image.machine, image.pe32Plus ? "PE32+" : "PE32");
  for (const PeResource& r : image.resources) {
    std::printf("resource %s %s 0x%04x %u\n", r.type.ToString().c_str(), r.name.ToString().c_str(),
                r.language, r.size);
  }
  for (const PeResource& r : image.resources) {
    if (!r.type.isName && r.type.number == kPeResourceVersion) PrintVersion(file, r);
  }
  for (const PeResource& r : image.resources) {
    if (!r.type.isName && r.type.number == kPeResourceManifest) {
      std::printf("manifest\n%.*s\n", int(r.size),
                  reinterpret_cast<const char*>(file.data() + r.offset));
    }
  }
  return 0;
}
