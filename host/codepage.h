// Conversions between code page 932 (the updater's texts and DOS paths) and
// the host's UTF-8 and UTF-16.
#pragma once

#include <string>
#include <string_view>

// False when the text holds bytes that are not code page 932 (or UTF-8).
bool Cp932ToUtf8(std::string_view cp932, std::string* utf8);
bool Utf8ToCp932(std::string_view utf8, std::string* cp932);
bool Cp932ToUtf16(std::string_view cp932, std::u16string* utf16);

// For display: invalid bytes are shown as '?'.
std::string Cp932ToUtf8Lossy(std::string_view cp932);

// For a terminal: UTF-8 as above, with a lone carriage return (the line break
// of message boxes) turned into a line feed.
std::string Cp932ToTerminalText(std::string_view cp932);

// Case folding as the Japanese locale's case-insensitive comparison does it:
// the cased letters that code page 932 holds are ASCII, the full-width Latin
// letters, Greek, Cyrillic and the Roman numerals.
inline char16_t FoldCp932Case(char16_t c) {
  if (c >= u'A' && c <= u'Z') return char16_t(c + 0x20);
  if (c >= 0xFF21 && c <= 0xFF3A) return char16_t(c + 0x20);                 // Ａ-Ｚ
  if (c >= 0x0391 && c <= 0x03A9 && c != 0x03A2) return char16_t(c + 0x20);  // Α-Ω
  if (c >= 0x0410 && c <= 0x042F) return char16_t(c + 0x20);                 // А-Я
  if (c >= 0x0400 && c <= 0x040F) return char16_t(c + 0x50);                 // Ѐ-Џ
  if (c >= 0x2160 && c <= 0x216F) return char16_t(c + 0x10);                 // Ⅰ-Ⅿ
  return c;
}

// A Shift-JIS lead byte: 0x81-0x9F or 0xE0-0xFC.
inline bool IsCp932LeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
