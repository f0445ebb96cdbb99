#include "tools/updpack/commands/tool_messages.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

void ReportError(const std::string& message) {
  std::fprintf(stderr, "updpack: %s\n", message.c_str());
}

void ReportWarning(const std::string& message) {
  std::fprintf(stderr, "updpack: warning: %s\n", message.c_str());
}

namespace {

// The length of the UTF-8 sequence at `at` (2 to 4), or 0 when it is not one.
size_t Utf8Sequence(const std::string& text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length;
  uint32_t code;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07u;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(at + i) & 0x3Fu);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  const bool bad = overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ||
                   (code >= 0x80 && code <= 0x9F);  // C1 controls
  return bad ? 0 : length;
}

}  // namespace

std::string Printable(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += char(c);
      ++i;
      continue;
    }
    const size_t sequence = c >= 0x80 ? Utf8Sequence(text, i) : 0;
    if (sequence > 0) {
      out.append(text, i, sequence);
      i += sequence;
      continue;
    }
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
    out += escaped;
    ++i;
  }
  return out;
}

std::string Quoted(const std::string& text) { return "\"" + Printable(text) + "\""; }

std::string SystemError(const std::string& what, const std::string& path) {
  return what + " " + Quoted(path) + ": " + std::strerror(errno);
}
