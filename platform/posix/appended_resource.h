// Resources of the POSIX build: data appended to the executable, each
// followed by this 32-byte trailer. Several may be chained; the last one
// appended is found first.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

struct AppendedResourceTrailer {
  char type[16];  // resource type name, NUL-padded
  uint32_t id;    // numeric resource id
  uint32_t size;  // bytes of data right before the trailer
  char magic[8];  // kAppendedResourceMagic
};
static_assert(sizeof(AppendedResourceTrailer) == 32, "trailer is 32 bytes");

constexpr char kAppendedResourceMagic[8] = {'U', 'P', 'D', 'R', 'S', 'R', 'C', '1'};

inline AppendedResourceTrailer MakeAppendedResourceTrailer(const std::string& type, uint32_t id,
                                                           uint32_t size) {
  AppendedResourceTrailer t{};
  std::strncpy(t.type, type.c_str(), sizeof t.type - 1);
  t.id = id;
  t.size = size;
  std::memcpy(t.magic, kAppendedResourceMagic, sizeof t.magic);
  return t;
}
