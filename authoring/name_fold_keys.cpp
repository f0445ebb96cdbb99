#include "authoring/name_fold_keys.h"

#include <cerrno>

#include "host/codepage.h"

NameFoldKeys::NameFoldKeys() : converter_(iconv_open("UTF-16LE", "CP932")) {}

NameFoldKeys::~NameFoldKeys() {
  if (converter_ != reinterpret_cast<iconv_t>(-1)) iconv_close(converter_);
}

bool NameFoldKeys::ToUtf16(std::string_view cp932, std::u16string* utf16) {
  if (converter_ == reinterpret_cast<iconv_t>(-1)) return false;
  iconv(converter_, nullptr, nullptr, nullptr, nullptr);  // a fresh start
  utf16->clear();
  char* in = const_cast<char*>(cp932.data());
  size_t inLeft = cp932.size();
  while (inLeft > 0) {
    char buffer[1024];
    char* out = buffer;
    size_t outLeft = sizeof buffer;
    const size_t r = iconv(converter_, &in, &inLeft, &out, &outLeft);
    for (char* p = buffer; p + 1 < out; p += 2) {
      utf16->push_back(char16_t(uint8_t(p[0]) | uint8_t(p[1]) << 8));
    }
    if (r == size_t(-1) && errno != E2BIG) return false;
  }
  return true;
}

std::u16string NameFoldKeys::Key(std::string_view cp932) {
  const size_t end = cp932.find('\0');
  if (end != std::string_view::npos) cp932 = cp932.substr(0, end);
  std::u16string key;
  if (ToUtf16(cp932, &key)) {
    for (char16_t& c : key) c = FoldCp932Case(c);
    key.insert(key.begin(), u'U');
    return key;
  }
  key.assign(1, u'B');
  for (const char c : cp932) {
    auto byte = static_cast<unsigned char>(c);
    if (byte >= 'A' && byte <= 'Z') byte = uint8_t(byte + 0x20);
    key.push_back(char16_t(byte));
  }
  return key;
}
