// Keys for entry names as the updater compares them on POSIX
// (CompareCp932IgnoringCase of host/cp932_text.h, behind the POSIX
// lstrcmpiA: code page 932 turned into UTF-16 and folded as the Japanese
// locale folds case; names that do not convert compared by their bytes with
// ASCII folded): two names get the same key exactly when that
// comparison finds them equal. One converter serves every name, so a map of
// keys finds equal names among n entries in linear time, where comparing
// them pairwise would set up a conversion per comparison.
#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

class NameFoldKeys {
 public:
  NameFoldKeys();
  ~NameFoldKeys();
  NameFoldKeys(const NameFoldKeys&) = delete;
  NameFoldKeys& operator=(const NameFoldKeys&) = delete;

  // `cp932` up to its first NUL, as the comparison reads it.
  std::u16string Key(std::string_view cp932);

 private:
  bool ToUtf16(std::string_view cp932, std::u16string* utf16);

  iconv_t converter_;
};
