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

// A Shift-JIS lead byte: 0x81-0x9F or 0xE0-0xFC.
inline bool IsCp932LeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
