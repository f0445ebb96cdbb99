// Reading registry files (see reg_file.h).
#include "platform/posix/reg_file.h"

#include <iconv.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "host/codepage.h"
#include "platform/posix/posix_functions.h"

namespace {

const char kHeader4[] = "REGEDIT4";
const char kHeader5[] = "Windows Registry Editor Version 5.00";

struct RootName {
  const char* shortName;
  const char* longName;
};
const RootName kRoots[] = {
    {"HKCU", "HKEY_CURRENT_USER"}, {"HKLM", "HKEY_LOCAL_MACHINE"},  {"HKCR", "HKEY_CLASSES_ROOT"},
    {"HKU", "HKEY_USERS"},         {"HKCC", "HKEY_CURRENT_CONFIG"},
};

// UTF-16LE bytes to `to` ("UTF-8" or "CP932").
bool FromUtf16(const std::string& utf16, const char* to, std::string* out) {
  iconv_t cd = iconv_open(to, "UTF-16LE");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out->clear();
  char* in = const_cast<char*>(utf16.data());
  size_t inLeft = utf16.size();
  char buffer[1024];
  bool ok = true;
  while (inLeft > 0 && ok) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out->append(buffer, sizeof buffer - outLeft);
    ok = r != size_t(-1) || errno == E2BIG;
  }
  iconv_close(cd);
  return ok;
}

// The file's text in UTF-8, without its byte order mark.
bool DecodeFile(const std::string& bytes, std::string* text) {
  if (bytes.size() >= 2 && uint8_t(bytes[0]) == 0xFF && uint8_t(bytes[1]) == 0xFE) {
    return FromUtf16(bytes.substr(2), "UTF-8", text);
  }
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    *text = bytes.substr(3);
  } else {
    *text = bytes;
  }
  return true;
}

// Logical lines: line breaks of any kind, a backslash at the end of a line
// joining the next (hex values span lines that way). Each line keeps the
// number of the line it starts on.
struct Line {
  int number;
  std::string text;
};

std::vector<Line> SplitLines(const std::string& text) {
  std::vector<Line> lines;
  int number = 0;
  bool continued = false;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string piece = text.substr(start, end - start);
    if (!piece.empty() && piece.back() == '\r') piece.pop_back();
    ++number;
    if (continued) {
      size_t first = piece.find_first_not_of(" \t");
      lines.back().text += first == std::string::npos ? "" : piece.substr(first);
    } else {
      lines.push_back({number, piece});
    }
    continued = !lines.back().text.empty() && lines.back().text.back() == '\\';
    if (continued) lines.back().text.pop_back();
    start = end + 1;
  }
  return lines;
}

std::string Trim(const std::string& s) {
  size_t first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  size_t last = s.find_last_not_of(" \t");
  return s.substr(first, last - first + 1);
}

// A quoted text at `*pos` with \\ and \" escapes; `*pos` moves behind it.
bool ReadQuoted(const std::string& s, size_t* pos, std::string* out) {
  if (*pos >= s.size() || s[*pos] != '"') return false;
  out->clear();
  for (size_t i = *pos + 1; i < s.size(); ++i) {
    if (s[i] == '"') {
      *pos = i + 1;
      return true;
    }
    if (s[i] == '\\') {
      if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) return false;
      ++i;
    }
    *out += s[i];
  }
  return false;
}

bool ParseHexBytes(const std::string& list, std::string* bytes) {
  bytes->clear();
  std::string item;
  size_t start = 0;
  std::string text = Trim(list);
  if (text.empty()) return true;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    item = Trim(text.substr(start, comma - start));
    if (item.empty() || item.size() > 2 || !std::isxdigit(uint8_t(item[0])) ||
        (item.size() == 2 && !std::isxdigit(uint8_t(item[1])))) {
      return false;
    }
    *bytes += char(std::strtoul(item.c_str(), nullptr, 16));
    start = comma + 1;
  }
  return true;
}

class Parser {
 public:
  Parser(std::vector<RegFileKey>* keys, std::vector<std::string>* warnings)
      : keys_(keys), warnings_(warnings) {}

  bool Parse(const std::string& bytes) {
    std::string text;
    if (!DecodeFile(bytes, &text)) return Warn(0, "the file is neither UTF-8 nor UTF-16LE");
    std::vector<Line> lines = SplitLines(text);
    size_t i = 0;
    while (i < lines.size() && Trim(lines[i].text).empty()) ++i;
    if (i == lines.size()) return Warn(0, "the file is empty");
    const std::string header = Trim(lines[i].text);
    if (header == kHeader5) {
      unicode_ = true;
    } else if (header != kHeader4) {
      return Warn(lines[i].number, "not a registry file (no REGEDIT4 or Version 5.00 header)");
    }
    for (++i; i < lines.size(); ++i) ParseLine(lines[i]);
    return true;
  }

 private:
  bool Warn(int line, const std::string& what) {
    warnings_->push_back(line > 0 ? "line " + std::to_string(line) + ": " + what : what);
    return false;
  }

  void ParseLine(const Line& line) {
    const std::string text = Trim(line.text);
    if (text.empty() || text[0] == ';') return;
    if (text[0] == '[') {
      ParseKey(line.number, text);
    } else if (key_ < 0) {
      if (!skipping_) Warn(line.number, "a value outside a key");
    } else {
      ParseValue(line.number, text);
    }
  }

  void ParseKey(int number, const std::string& text) {
    key_ = -1;
    skipping_ = true;
    if (text.back() != ']') {
      Warn(number, "a key without its closing ]");
      return;
    }
    std::string path = text.substr(1, text.size() - 2);
    if (!path.empty() && path[0] == '-') return;  // a deleted key: nothing to keep
    std::string cp932;
    if (!Utf8ToCp932(path, &cp932) || cp932.empty()) {
      Warn(number, "a key name that code page 932 cannot hold");
      return;
    }
    cp932 = SpellOutRoot(cp932);
    for (size_t i = 0; i < keys_->size() && key_ < 0; ++i) {
      if (SameRegName((*keys_)[i].path, cp932)) key_ = int(i);
    }
    if (key_ < 0) {
      keys_->push_back({cp932, {}});
      key_ = int(keys_->size()) - 1;
    }
    skipping_ = false;
  }

  static std::string SpellOutRoot(const std::string& path) {
    size_t slash = path.find('\\');
    std::string root = path.substr(0, slash);
    for (const RootName& r : kRoots) {
      if (SameRegName(root, r.shortName)) {
        return r.longName + (slash == std::string::npos ? "" : path.substr(slash));
      }
    }
    return path;
  }

  void ParseValue(int number, const std::string& text) {
    std::string name;
    size_t pos = 0;
    if (text[0] == '@') {
      pos = 1;
    } else if (!ReadQuoted(text, &pos, &name)) {
      Warn(number, "a value name must be quoted (or @ for the default value)");
      return;
    }
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    if (pos >= text.size() || text[pos] != '=') {
      Warn(number, "no = after the value name");
      return;
    }
    RegFileValue value;
    if (!Utf8ToCp932(name, &value.name)) {
      Warn(number, "a value name that code page 932 cannot hold");
      return;
    }
    const std::string data = Trim(text.substr(pos + 1));
    if (data == "-") {
      Remove(value.name);
      return;
    }
    if (!ParseData(number, data, &value)) return;
    Remove(value.name);
    (*keys_)[size_t(key_)].values.push_back(value);
  }

  bool ParseData(int number, const std::string& data, RegFileValue* value) {
    if (!data.empty() && data[0] == '"') {
      size_t pos = 0;
      std::string utf8;
      if (!ReadQuoted(data, &pos, &utf8) || pos != data.size()) {
        return Warn(number,
                    "a text value must be one quoted text (escape \\ and \" as \\\\ and \\\")");
      }
      if (!Utf8ToCp932(utf8, &value->data)) {
        return Warn(number, "a text that code page 932 cannot hold");
      }
      value->type = kRegSz;
      value->data += '\0';
      return true;
    }
    if (data.compare(0, 6, "dword:") == 0) {
      const std::string digits = data.substr(6);
      if (digits.empty() || digits.size() > 8 ||
          digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        return Warn(number, "dword: needs one to eight hexadecimal digits");
      }
      const uint32_t v = uint32_t(std::strtoul(digits.c_str(), nullptr, 16));
      value->type = kRegDword;
      for (int shift = 0; shift < 32; shift += 8) value->data += char((v >> shift) & 0xFF);
      return true;
    }
    return ParseHexData(number, data, value);
  }

  // hex:01,02 (binary) and hex(N):... (any type, given as its bytes). The
  // texts of hex(1), hex(2) and hex(7) are UTF-16 in version 5.00 files and
  // are converted for the ANSI query.
  bool ParseHexData(int number, const std::string& data, RegFileValue* value) {
    size_t colon = data.find(':');
    if (colon == std::string::npos) return Warn(number, "an unknown value form");
    const std::string form = data.substr(0, colon);
    if (form == "hex") {
      value->type = kRegBinary;
    } else if (form.size() > 5 && form.compare(0, 4, "hex(") == 0 && form.back() == ')' &&
               form.find_first_not_of("0123456789abcdefABCDEF", 4) == form.size() - 1) {
      value->type = win::Dword(std::strtoul(form.c_str() + 4, nullptr, 16));
    } else {
      return Warn(number, "an unknown value form");
    }
    if (!ParseHexBytes(data.substr(colon + 1), &value->data)) {
      return Warn(number, "hex bytes must be two-digit hexadecimal numbers separated by commas");
    }
    const bool text =
        value->type == kRegSz || value->type == kRegExpandSz || value->type == kRegMultiSz;
    if (unicode_ && text) {
      std::string cp932;
      if (value->data.size() % 2 != 0 || !FromUtf16(value->data, "CP932", &cp932)) {
        return Warn(number, "a text value whose bytes are not UTF-16 that code page 932 can hold");
      }
      value->data = cp932;
    }
    return true;
  }

  void Remove(const std::string& name) {
    std::vector<RegFileValue>& values = (*keys_)[size_t(key_)].values;
    for (size_t i = 0; i < values.size(); ++i) {
      if (SameRegName(values[i].name, name)) {
        values.erase(values.begin() + long(i));
        return;
      }
    }
  }

  std::vector<RegFileKey>* keys_;
  std::vector<std::string>* warnings_;
  int key_ = -1;           // the key that values go to; -1 for none
  bool skipping_ = false;  // inside a deleted or unreadable key
  bool unicode_ = false;   // a version 5.00 file
};

}  // namespace

bool ParseRegFile(const std::string& bytes, std::vector<RegFileKey>* keys,
                  std::vector<std::string>* warnings) {
  keys->clear();
  return Parser(keys, warnings).Parse(bytes);
}

bool SameRegName(const std::string& a, const std::string& b) {
  return PosixlstrcmpiA(a.c_str(), b.c_str()) == 0;
}
