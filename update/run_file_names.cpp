#include "update/run_file_names.h"

#include <cstring>

#include "core/join_path.h"
#include "core/text_format.h"
#include "core/updater_state.h"

bool RunFileName(const char* beside, unsigned attempt, char* path) {
  const int folderLength = FileNameOffset(beside);
  const int longestName = kPathSize - 1 - folderLength;
  char digits[8];
  const int length = FormatText(digits, sizeof digits, "%x", attempt);
  if (longestName < length) return false;
  const char* format = longestName >= length + 8 ? "~upd%s.tmp"
                       : longestName > length    ? "~%s"
                                                 : "%s";
  std::memcpy(path, beside, size_t(folderLength));
  FormatText(path + folderLength, size_t(longestName) + 1, format, digits);
  return true;
}

bool IsRunFileName(const char* beside, const char* path) {
  // The attempt is read back from the name's hex digits and the name made
  // again: only an exact match counts.
  const int folderLength = FileNameOffset(beside);
  if (std::strncmp(path, beside, size_t(folderLength)) != 0) return false;
  const char* digits = path + folderLength;
  if (digits[0] == '~') ++digits;
  if (std::strncmp(digits, "upd", 3) == 0) digits += 3;
  unsigned attempt = 0;
  int count = 0;
  for (; count < 5; ++count) {
    const char c = digits[count];
    const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (digit < 0) break;
    attempt = attempt * 16 + unsigned(digit);
  }
  if (count == 0 || attempt >= kRunFileNameAttempts) return false;
  char expected[kPathSize];
  return RunFileName(beside, attempt, expected) && std::strcmp(expected, path) == 0;
}
