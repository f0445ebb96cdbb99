#include "settings/ini_file.h"

#include <cstring>

namespace {

constexpr size_t kNone = std::string_view::npos;

// A code page 932 lead byte: 0x81-0x9F or 0xE0-0xFC.
bool IsLeadByte(uint8_t c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Length of the character at `i` of `text`: 2 for a lead byte with a byte
// other than NUL behind it, else 1.
size_t CharLength(std::string_view text, size_t i) {
  return IsLeadByte(uint8_t(text[i])) && i + 1 < text.size() && text[i + 1] != '\0' ? 2 : 1;
}

// Names and values are texts: a NUL byte in the file ends them.
std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

bool IsBlank(char c) { return c == ' ' || (c >= 0x09 && c <= 0x0D) || c == 0x1A; }

// `text` without the blanks at its start and end. Blanks are one-byte
// characters, so a second byte is never taken for one.
std::string_view TrimBlanks(std::string_view text) {
  size_t start = kNone, end = 0;
  for (size_t i = 0; i < text.size();) {
    size_t length = CharLength(text, i);
    if (length == 2 || !IsBlank(text[i])) {
      if (start == kNone) start = i;
      end = i + length;
    }
    i += length;
  }
  return start == kNone ? std::string_view() : text.substr(start, end - start);
}

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c; }

// Equal names, ASCII letters of either case being the same. Both are walked
// by characters, so that second bytes are compared exactly.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size();) {
    size_t length = CharLength(a, i);
    if (length == 2) {
      if (a.substr(i, 2) != b.substr(i, 2)) return false;
    } else if (FoldAscii(a[i]) != FoldAscii(b[i])) {
      return false;
    }
    i += length;
  }
  return true;
}

// One line of the file, without the blanks around it.
struct ProfileLine {
  bool isHeader = false;
  std::string_view name;  // the section's name, or the key's
  bool hasValue = false;
  std::string_view value;
};

ProfileLine ParseLine(std::string_view line) {
  ProfileLine parsed;
  size_t closing = kNone, equals = kNone;
  for (size_t i = 0; i < line.size();) {
    size_t length = CharLength(line, i);
    if (length == 1 && line[i] == ']') closing = i;
    if (length == 1 && line[i] == '=' && equals == kNone) equals = i;
    i += length;
  }
  if (line[0] == '[' && closing != kNone) {
    parsed.isHeader = true;
    parsed.name = UpToNul(TrimBlanks(line.substr(1, closing - 1)));
  } else if (equals == kNone) {
    parsed.name = UpToNul(line);
  } else {
    parsed.name = UpToNul(TrimBlanks(line.substr(0, equals)));
    parsed.hasValue = true;
    parsed.value = UpToNul(TrimBlanks(line.substr(equals + 1)));
  }
  return parsed;
}

}  // namespace

bool FindProfileValue(std::string_view text, std::string_view section, std::string_view key,
                      std::string_view* value) {
  section = TrimBlanks(section);
  key = TrimBlanks(key);
  // The lines before the first header are the section with the empty name.
  bool inSection = section.empty();
  size_t lineStart = 0;
  for (size_t i = 0; i <= text.size();) {
    if (i < text.size() && text[i] != '\n' && text[i] != '\r') {
      i += CharLength(text, i);
      continue;
    }
    std::string_view line = TrimBlanks(text.substr(lineStart, i - lineStart));
    lineStart = ++i;
    if (line.empty()) continue;
    ProfileLine parsed = ParseLine(line);
    if (parsed.isHeader) {
      // Only the first section of the name is searched.
      if (inSection) return false;
      inSection = SameName(parsed.name, section);
      continue;
    }
    if (!inSection || !SameName(parsed.name, key)) continue;
    *value = parsed.value;
    return parsed.hasValue;
  }
  return false;
}

uint32_t CopyProfileValue(std::string_view value, char* out, uint32_t size) {
  if (size == 0) return 0;
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
    value = value.substr(1, value.size() - 2);
  }
  size_t length = value.size();
  if (length > size - 1) {
    length = 0;
    while (length < value.size()) {
      size_t next = length + CharLength(value, length);
      if (next > size - 1) break;
      length = next;
    }
  }
  if (length > 0) std::memcpy(out, value.data(), length);
  out[length] = '\0';
  return uint32_t(length);
}

namespace {

// The default without its trailing spaces, as Windows takes it.
std::string_view DefaultValue(const char* defaultValue) {
  std::string_view value = defaultValue != nullptr ? defaultValue : "";
  while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
  return value;
}

}  // namespace

uint32_t AnswerProfileQuery(const std::string_view* text, const char* section, const char* key,
                            const char* defaultValue, char* out, uint32_t size) {
  if (out == nullptr || size == 0) return 0;
  if (section == nullptr || key == nullptr) {
    out[0] = '\0';
    if (size > 1) out[1] = '\0';
    return 0;
  }
  if (key[0] == '\0') {
    out[0] = '\0';
    return 0;
  }
  std::string_view value;
  if (text == nullptr || !FindProfileValue(*text, section, key, &value)) {
    value = DefaultValue(defaultValue);
  }
  return CopyProfileValue(value, out, size);
}
