#include "authoring/pe_version_writer.h"

#include "authoring/pe_resource_writer.h"

namespace {

constexpr uint32_t kFixedInfoSignature = 0xFEEF04BDu;
constexpr uint32_t kFixedInfoVersion = 0x00010000u;
constexpr uint16_t kBinary = 0, kText = 1;  // a block's wType

// Blocks: wLength, wValueLength, wType, the key in UTF-16 with its NUL,
// then value and children, each at a 32-bit boundary. A block's length
// ends with its last byte, without the padding that may follow it.
class BlockWriter {
 public:
  explicit BlockWriter(std::vector<uint8_t>* out) : out_(*out) {}

  size_t Begin(const std::u16string& key, uint16_t type) {
    Align();
    const size_t at = out_.size();
    out_.resize(at + 6, 0);
    Put16(at + 4, type);
    Text(key);
    Align();
    return at;
  }
  void ValueLength(size_t block, size_t length) { Put16(block + 2, uint32_t(length)); }
  void Text(const std::u16string& text) {
    for (char16_t c : text) Word(c);
    Word(0);
  }
  void Word(uint32_t v) {
    out_.push_back(uint8_t(v));
    out_.push_back(uint8_t(v >> 8));
  }
  void Dword(uint32_t v) {
    Word(v & 0xFFFF);
    Word(v >> 16);
  }
  bool End(size_t block) {
    const size_t length = out_.size() - block;
    if (length > 0xFFFF) return false;
    Put16(block, uint32_t(length));
    return true;
  }

 private:
  void Align() { out_.resize((out_.size() + 3) & ~size_t(3), 0); }
  void Put16(size_t at, uint32_t v) {
    out_[at] = uint8_t(v);
    out_[at + 1] = uint8_t(v >> 8);
  }

  std::vector<uint8_t>& out_;
};

bool Fail(std::string* error, const std::string& what) {
  *error = "version resource: " + what;
  return false;
}

bool ToText(const std::string& utf8, std::u16string* text, std::string* error) {
  if (!Utf8ToUtf16(utf8, text)) return Fail(error, "not UTF-8: " + utf8);
  if (text->find(u'\0') != std::u16string::npos) return Fail(error, "a NUL inside: " + utf8);
  return true;
}

bool HexDigits(const std::string& key, uint32_t* value) {
  if (key.size() != 8) return false;
  *value = 0;
  for (char c : key) {
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0) return false;
    *value = *value << 4 | uint32_t(digit);
  }
  return true;
}

}  // namespace

bool BuildPeVersionInfo(const PeVersionInfo& info, const PeVersionFlags& flags,
                        std::vector<uint8_t>* out, std::string* error) {
  out->clear();
  std::vector<std::string> tables;
  std::vector<uint32_t> translations;  // language << 16 | code page
  for (const PeVersionString& s : info.strings) {
    bool known = false;
    for (const std::string& t : tables) known = known || t == s.table;
    if (known) continue;
    uint32_t translation = 0;
    if (!HexDigits(s.table, &translation)) {
      return Fail(error, "string table key is not eight hex digits: " + s.table);
    }
    tables.push_back(s.table);
    translations.push_back(translation);
  }

  BlockWriter w(out);
  const char* tooLong = "block longer than 65535 bytes";
  const size_t root = w.Begin(u"VS_VERSION_INFO", kBinary);
  w.ValueLength(root, 52);
  w.Dword(kFixedInfoSignature);
  w.Dword(kFixedInfoVersion);
  w.Dword(uint32_t(info.fileVersion[0]) << 16 | info.fileVersion[1]);
  w.Dword(uint32_t(info.fileVersion[2]) << 16 | info.fileVersion[3]);
  w.Dword(uint32_t(info.productVersion[0]) << 16 | info.productVersion[1]);
  w.Dword(uint32_t(info.productVersion[2]) << 16 | info.productVersion[3]);
  w.Dword(flags.fileFlagsMask);
  w.Dword(flags.fileFlags);
  w.Dword(flags.fileOs);
  w.Dword(flags.fileType);
  w.Dword(flags.fileSubtype);
  w.Dword(0);  // no file date
  w.Dword(0);

  if (!tables.empty()) {
    const size_t stringInfo = w.Begin(u"StringFileInfo", kText);
    for (const std::string& table : tables) {
      std::u16string tableKey;
      ToText(table, &tableKey, error);  // hex digits: always UTF-8
      const size_t tableBlock = w.Begin(tableKey, kText);
      for (const PeVersionString& s : info.strings) {
        if (s.table != table) continue;
        std::u16string key, value;
        if (!ToText(s.key, &key, error) || !ToText(s.value, &value, error)) return false;
        if (key.empty()) return Fail(error, "a string without a key");
        const size_t string = w.Begin(key, kText);
        w.ValueLength(string, value.size() + 1);  // in UTF-16 units, with the NUL
        w.Text(value);
        if (!w.End(string)) return Fail(error, tooLong);
      }
      if (!w.End(tableBlock)) return Fail(error, tooLong);
    }
    if (!w.End(stringInfo)) return Fail(error, tooLong);

    const size_t varInfo = w.Begin(u"VarFileInfo", kText);
    const size_t translation = w.Begin(u"Translation", kBinary);
    w.ValueLength(translation, translations.size() * 4);
    for (uint32_t t : translations) {
      w.Word(t >> 16);
      w.Word(t & 0xFFFF);
    }
    if (!w.End(translation) || !w.End(varInfo)) return Fail(error, tooLong);
  }
  if (!w.End(root)) return Fail(error, tooLong);
  return true;
}
