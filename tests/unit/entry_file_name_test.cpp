// Entry names checked as code page 932 bytes: the check create makes after
// converting a file name, and extract and verify make on any archive.
#include "authoring/entry_file_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(EntryFileName, TableOfNames) {
  const struct {
    std::string cp932;
    std::string why;  // empty: a plain file name
  } cases[] = {
      {"readme.txt", ""},
      {"\x95\x5C.txt", ""},                  // 表: its second byte is 0x5C
      {"\x83\x5C\x83\x74\x83\x67.dat", ""},  // ソフト
      {"\xB6\xC5.ogg", ""},                  // ｶﾅ: single bytes 0xA1-0xDF
      {".hidden", ""},
      {"a..b", ""},
      {"", "is empty"},
      {"..\\..\\Windows\\evil.txt", "holds a backslash"},
      {"\x95\x5C\\x", "holds a backslash"},  // 表 then a backslash of its own
      {"a/b", "holds a slash"},
      {"c:evil", "holds a colon"},
      {"a\nb", "holds a control character"},
      {"a\x1B[31m", "holds a control character"},
      {"a*b", "holds *"},
      {"a|b", "holds |"},
      {"name.", "ends in a dot or a space"},
      {"..", "ends in a dot or a space"},
      {".", "ends in a dot or a space"},
      {"name ", "ends in a dot or a space"},
      {"a\x95", "ends inside a two-byte character"},
  };
  for (const auto& c : cases) {
    const std::string why = WhyNotAFileName(c.cp932);
    if (c.why.empty()) {
      EXPECT_EQ("", why) << c.cp932;
    } else {
      EXPECT_EQ(0u, why.find(c.why)) << c.cp932 << ": " << why;
    }
  }
}

}  // namespace
