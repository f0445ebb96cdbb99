// Text operations of code page 932 on POSIX.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/posix/codepage.h"
#include "platform/posix/posix_functions.h"

namespace {

// Case folding as the Japanese locale's case-insensitive comparison does it:
// the cased letters that code page 932 holds are ASCII, the full-width Latin
// letters, Greek, Cyrillic and the Roman numerals.
char16_t Fold(char16_t c) {
  if (c >= u'A' && c <= u'Z') return char16_t(c + 0x20);
  if (c >= 0xFF21 && c <= 0xFF3A) return char16_t(c + 0x20);                 // Ａ-Ｚ
  if (c >= 0x0391 && c <= 0x03A9 && c != 0x03A2) return char16_t(c + 0x20);  // Α-Ω
  if (c >= 0x0410 && c <= 0x042F) return char16_t(c + 0x20);                 // А-Я
  if (c >= 0x0400 && c <= 0x040F) return char16_t(c + 0x50);                 // Ѐ-Џ
  if (c >= 0x2160 && c <= 0x216F) return char16_t(c + 0x10);                 // Ⅰ-Ⅿ
  return c;
}

int CompareFolded(const std::u16string& a, const std::u16string& b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    char16_t x = Fold(a[i]), y = Fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int CompareBytesFolded(const char* a, const char* b) {
  for (;; ++a, ++b) {
    unsigned char x = uint8_t(*a), y = uint8_t(*b);
    if (x >= 'A' && x <= 'Z') x = uint8_t(x + 0x20);
    if (y >= 'A' && y <= 'Z') y = uint8_t(y + 0x20);
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
}

}  // namespace

char* WINAPI_CC PosixCharNextA(const char* text) {
  if (*text == '\0') return const_cast<char*>(text);
  if (IsCp932LeadByte(uint8_t(text[0])) && text[1] != '\0') return const_cast<char*>(text + 2);
  return const_cast<char*>(text + 1);
}

win::Bool WINAPI_CC PosixIsDBCSLeadByte(uint8_t byte) { return IsCp932LeadByte(byte) ? 1 : 0; }

int WINAPI_CC PosixlstrcmpiA(const char* a, const char* b) {
  std::u16string wideA, wideB;
  if (Cp932ToUtf16(a, &wideA) && Cp932ToUtf16(b, &wideB)) return CompareFolded(wideA, wideB);
  return CompareBytesFolded(a, b);
}

int WINAPI_CC PosixwvsprintfA(char* out, const char* format, va_list arguments) {
  // wvsprintfA writes at most 1024 bytes with the terminator.
  int length = vsnprintf(out, 1024, format, arguments);
  if (length < 0) {
    out[0] = '\0';
    return 0;
  }
  return length > 1023 ? 1023 : length;
}
