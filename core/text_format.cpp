#include "core/text_format.h"

#include <cstdarg>
#include <cstring>

#include "core/platform.h"

namespace {
// wvsprintfA writes at most 1024 bytes with its terminator.
constexpr size_t kFormatLimit = 1024;
}  // namespace

int FormatText(char* out, size_t size, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  int length = FormatTextV(out, size, format, arguments);
  va_end(arguments);
  return length;
}

int FormatTextV(char* out, size_t size, const char* format, va_list arguments) {
  if (size == 0) return 0;
  char work[kFormatLimit + 1];
  int length = platform.wvsprintfA(work, format, arguments);
  if (length < 0) length = 0;
  if (size_t(length) > kFormatLimit) length = kFormatLimit;
  if (size_t(length) >= size) length = int(size - 1);
  std::memcpy(out, work, size_t(length));
  out[length] = '\0';
  return length;
}

void CopyText(char* out, size_t size, const char* text) {
  if (size == 0) return;
  size_t length = std::strlen(text);
  if (length >= size) length = size - 1;
  std::memcpy(out, text, length);
  out[length] = '\0';
}

namespace {
const char* SkipToDigits(const char* p, bool* negative) {
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') ++p;
  *negative = false;
  if (*p == '+' || *p == '-') {
    *negative = (*p == '-');
    ++p;
  }
  return p;
}
}  // namespace

int32_t ParseDecimal(const char* text) { return int32_t(uint32_t(ParseDecimal64(text))); }

uint64_t ParseDecimal64(const char* text) {
  bool negative;
  const char* p = SkipToDigits(text, &negative);
  uint64_t value = 0;
  while (*p >= '0' && *p <= '9') value = value * 10 + uint64_t(*p++ - '0');
  return negative ? uint64_t(0) - value : value;
}
