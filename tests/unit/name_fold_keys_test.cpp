// Keys of entry names: equal exactly when the comparison behind the POSIX
// lstrcmpiA (CompareCp932IgnoringCase) finds the names equal, over every pair
// of a table that holds each folded range, its edges and names that are not
// code page 932.
#include "authoring/name_fold_keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/codepage.h"
#include "host/cp932_text.h"

namespace {

TEST(NameFoldKeys, EqualExactlyWhenTheUpdaterComparesEqual) {
  const std::vector<std::string> utf8 = {
      "readme.txt", "README.TXT", "ReadMe.txt", "readme.tx", "ａｂｃ.txt", "ＡＢＣ.TXT", "abc.txt",
      "αβω",        "ΑΒΩ",        "σ",          "дом",       "ДОМ",        "ёё",         "ЁЁ",
      "ⅰⅹ",         "ⅠⅩ",         "ｶﾅ",         "カナ",      "表.dat",     "ソ.dat",     "[",
      "{",          "@",          "`",          "Z",         "z",
  };
  std::vector<std::string> names;
  for (const std::string& u : utf8) {
    std::string cp932;
    ASSERT_TRUE(Utf8ToCp932(u, &cp932)) << u;
    names.push_back(cp932);
  }
  // Not code page 932: compared by bytes with ASCII folded.
  names.push_back("Bad\x81\x20");
  names.push_back("bad\x81\x20");
  names.push_back("bad\x81\x21");
  NameFoldKeys keys;
  for (const std::string& a : names) {
    for (const std::string& b : names) {
      EXPECT_EQ(CompareCp932IgnoringCase(a.c_str(), b.c_str()) == 0, keys.Key(a) == keys.Key(b))
          << a << " / " << b;
    }
  }
}

}  // namespace
