// Makes the archives of the Wine tests: every entry stored as it is, with a
// plain directory, so that the tests need nothing beyond the archive writer.
//
// Usage: make_test_archive [--bad-magic] OUTPUT NAME=HOSTFILE...
//   NAME is the entry's name in the archive, HOSTFILE the file it holds.
//   --bad-magic spoils the archive's magic number, so that it cannot be
//   opened.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "authoring/archive_writer.h"

namespace {

// 2020-01-01 00:00 UTC: a fixed time, so that the same inputs give the same
// archive.
constexpr uint64_t kEntryTime = 132223104000000000ull;

int Fail(const std::string& message) {
  std::fprintf(stderr, "make_test_archive: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  int next = 1;
  const bool badMagic = argc > next && std::strcmp(argv[next], "--bad-magic") == 0;
  if (badMagic) ++next;
  if (argc - next < 2) {
    std::fprintf(stderr, "usage: make_test_archive [--bad-magic] OUTPUT NAME=HOSTFILE...\n");
    return 2;
  }
  const std::string output = argv[next++];
  std::vector<ArchiveItem> items;
  for (; next < argc; ++next) {
    const std::string argument = argv[next];
    const size_t equals = argument.find('=');
    if (equals == std::string::npos || equals == 0)
      return Fail("expected NAME=HOSTFILE: " + argument);
    std::ifstream in(argument.substr(equals + 1), std::ios::binary);
    if (!in) return Fail("cannot read " + argument.substr(equals + 1));
    ArchiveItem item;
    item.name = argument.substr(0, equals);
    item.data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    item.fileTime = win::ToFileTime(kEntryTime);
    items.push_back(item);
  }
  std::vector<uint8_t> archive;
  std::string error;
  if (!BuildArchive(items, ArchiveOptions(), &archive, &error)) return Fail(error);
  if (badMagic) archive[0] ^= 0xFF;

  const std::string partial = output + ".partial";
  std::ofstream out(partial, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(archive.data()), std::streamsize(archive.size()));
  out.close();
  if (!out || std::rename(partial.c_str(), output.c_str()) != 0) {
    std::remove(partial.c_str());
    return Fail("cannot write " + output);
  }
  return 0;
}
