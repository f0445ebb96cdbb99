#include "authoring/entry_file_name.h"

#include <cstring>

#include "host/codepage.h"

std::string WhyNotAFileName(std::string_view cp932) {
  if (cp932.empty()) return "is empty";
  unsigned char last = 0;  // the last single-byte character (0 after a two-byte one)
  for (size_t i = 0; i < cp932.size();) {
    const auto c = static_cast<unsigned char>(cp932[i]);
    if (IsCp932LeadByte(c)) {
      if (i + 1 == cp932.size()) return "ends inside a two-byte character";
      i += 2;
      last = 0;
      continue;
    }
    if (c < 0x20) return "holds a control character";
    if (c == '\\') return "holds a backslash (byte 0x5C, which Japanese fonts show as a yen sign)";
    if (c == '/') return "holds a slash";
    if (c == ':') return "holds a colon";
    if (std::strchr("*?\"<>|", c) != nullptr) {
      return std::string("holds ") + char(c) + ", which Windows refuses in file names";
    }
    last = c;
    ++i;
  }
  if (last == '.' || last == ' ') return "ends in a dot or a space, which Windows drops";
  return std::string();
}
