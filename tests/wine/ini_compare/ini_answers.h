// The question and answer lines that the INI comparison passes between the
// Linux reader and the Windows probe. Bytes of names and values travel as hex,
// so that code page 932 text, blanks and control bytes survive unchanged.
//
// Question: "<file name>\t<section hex>\t<key hex>\t<buffer size>"
// Answer:   "<return value>\t<hex of the buffer up to its first NUL>\t<1 when
//           a NUL was found within the buffer, else 0>"
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace ini_answers {

// The probe and the reader both start from this fill, so that bytes left
// unwritten show up as a difference.
constexpr unsigned char kFill = 0xAA;

inline std::string ToHex(const char* bytes, size_t length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  return hex;
}

inline bool FromHex(const std::string& hex, std::string* bytes) {
  if (hex.size() % 2 != 0) return false;
  bytes->clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    unsigned value = 0;
    if (std::sscanf(hex.c_str() + i, "%2x", &value) != 1) return false;
    bytes->push_back(static_cast<char>(value));
  }
  return true;
}

struct Question {
  std::string file;
  std::string section;
  std::string key;
  unsigned size = 0;
};

// Splits one question line; false when it is not one.
inline bool ParseQuestion(const std::string& line, Question* question) {
  size_t a = line.find('\t');
  size_t b = a == std::string::npos ? a : line.find('\t', a + 1);
  size_t c = b == std::string::npos ? b : line.find('\t', b + 1);
  if (c == std::string::npos) return false;
  question->file = line.substr(0, a);
  if (!FromHex(line.substr(a + 1, b - a - 1), &question->section)) return false;
  if (!FromHex(line.substr(b + 1, c - b - 1), &question->key)) return false;
  question->size = unsigned(std::strtoul(line.c_str() + c + 1, nullptr, 10));
  return true;
}

// The answer line for a call that returned `result` into `buffer` of `size`.
inline std::string AnswerLine(unsigned long result, const char* buffer, unsigned size) {
  const void* end = std::memchr(buffer, 0, size);
  size_t length = end ? size_t(static_cast<const char*>(end) - buffer) : size;
  return std::to_string(result) + "\t" + ToHex(buffer, length) + "\t" + (end ? "1" : "0");
}

}  // namespace ini_answers
