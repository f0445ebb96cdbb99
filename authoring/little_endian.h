// Little-endian 16- and 32-bit values in byte buffers, as PE files keep
// them. The caller has checked that the bytes are there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t Get32(const uint8_t* p) {
  return uint32_t(Get16(p)) | uint32_t(Get16(p + 2)) << 16;
}
inline uint16_t Get16(const std::vector<uint8_t>& b, size_t at) { return Get16(&b[at]); }
inline uint32_t Get32(const std::vector<uint8_t>& b, size_t at) { return Get32(&b[at]); }

inline void Put16(std::vector<uint8_t>* b, size_t at, uint32_t v) {
  (*b)[at] = uint8_t(v);
  (*b)[at + 1] = uint8_t(v >> 8);
}
inline void Put32(std::vector<uint8_t>* b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}
