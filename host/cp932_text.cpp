#include "host/cp932_text.h"

#include <cstdint>
#include <string>

#include "host/codepage.h"

namespace {

int CompareFolded(const std::u16string& a, const std::u16string& b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    char16_t x = FoldCp932Case(a[i]), y = FoldCp932Case(b[i]);
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

const char* NextCp932Char(const char* text) {
  if (*text == '\0') return text;
  if (IsCp932LeadByte(uint8_t(text[0])) && text[1] != '\0') return text + 2;
  return text + 1;
}

int CompareCp932IgnoringCase(const char* a, const char* b) {
  std::u16string wideA, wideB;
  if (Cp932ToUtf16(a, &wideA) && Cp932ToUtf16(b, &wideB)) return CompareFolded(wideA, wideB);
  return CompareBytesFolded(a, b);
}
