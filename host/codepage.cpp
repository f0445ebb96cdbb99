#include "host/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace {

bool Convert(const char* to, const char* from, std::string_view in, std::string* out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out->clear();
  char* inPtr = const_cast<char*>(in.data());
  size_t inLeft = in.size();
  char buffer[1024];
  bool ok = true;
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    out->append(buffer, sizeof buffer - outLeft);
    if (r == size_t(-1) && errno != E2BIG) {
      ok = false;
      break;
    }
  }
  iconv_close(cd);
  return ok;
}

}  // namespace

bool Cp932ToUtf8(std::string_view cp932, std::string* utf8) {
  return Convert("UTF-8", "CP932", cp932, utf8);
}

bool Utf8ToCp932(std::string_view utf8, std::string* cp932) {
  return Convert("CP932", "UTF-8", utf8, cp932);
}

bool Cp932ToUtf16(std::string_view cp932, std::u16string* utf16) {
  std::string bytes;
  if (!Convert("UTF-16LE", "CP932", cp932, &bytes)) return false;
  utf16->resize(bytes.size() / 2);
  for (size_t i = 0; i < utf16->size(); ++i) {
    (*utf16)[i] = char16_t(uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8);
  }
  return true;
}

std::string Cp932ToTerminalText(std::string_view cp932) {
  std::string text = Cp932ToUtf8Lossy(cp932);
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      out += text[i];
    } else if (i + 1 >= text.size() || text[i + 1] != '\n') {
      out += '\n';
    }
  }
  return out;
}

std::string Cp932ToUtf8Lossy(std::string_view cp932) {
  std::string result;
  if (Cp932ToUtf8(cp932, &result)) return result;
  result.clear();
  for (size_t i = 0; i < cp932.size();) {
    size_t width = IsCp932LeadByte(uint8_t(cp932[i])) && i + 1 < cp932.size() ? 2 : 1;
    std::string piece;
    if (Cp932ToUtf8(cp932.substr(i, width), &piece)) {
      result += piece;
    } else {
      result += '?';
    }
    i += width;
  }
  return result;
}
