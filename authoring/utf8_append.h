// Appends one Unicode code point to a UTF-8 text.
#pragma once

#include <cstdint>
#include <string>

inline void AppendUtf8(uint32_t c, std::string* out) {
  if (c < 0x80) {
    *out += char(c);
  } else if (c < 0x800) {
    *out += char(0xC0 | c >> 6);
    *out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += char(0xE0 | c >> 12);
    *out += char(0x80 | (c >> 6 & 0x3F));
    *out += char(0x80 | (c & 0x3F));
  } else {
    *out += char(0xF0 | c >> 18);
    *out += char(0x80 | (c >> 12 & 0x3F));
    *out += char(0x80 | (c >> 6 & 0x3F));
    *out += char(0x80 | (c & 0x3F));
  }
}
