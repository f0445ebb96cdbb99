// The host's code page 932 text functions that the POSIX CharNextA and
// lstrcmpiA answer with: a lead byte takes its trail byte along unless the
// text ends there, and case is folded for every cased script the code page
// holds, lower case being the common form.
#include "host/cp932_text.h"

#include <gtest/gtest.h>

#include <string>

#include "host/codepage.h"

namespace {

struct StepCase {
  const char* text;  // bytes of code page 932
  size_t step;
};

class NextCp932CharTest : public ::testing::TestWithParam<StepCase> {};

TEST_P(NextCp932CharTest, StepsOverOneCharacter) {
  const StepCase c = GetParam();
  EXPECT_EQ(c.text + c.step, NextCp932Char(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Characters, NextCp932CharTest,
    ::testing::Values(StepCase{"", 0},  // the terminator stays
                      StepCase{"ab", 1},
                      StepCase{"\x95\x5C"
                               "a",
                               2},              // 表: its trail byte is a backslash
                      StepCase{"\x81\x40", 2},  // the lead bytes' first range
                      StepCase{"\x9F\x40", 2}, StepCase{"\xE0\x40", 2},  // and their second
                      StepCase{"\xFC\x40", 2}, StepCase{"\x80\x40", 1},  // just outside them
                      StepCase{"\xA0\x40", 1}, StepCase{"\xB6\x40", 1},  // ｶ, a one-byte katakana
                      StepCase{"\xFD\x40", 1}, StepCase{"\x95", 1}));    // a lead byte at the end

struct CompareCase {
  const char* a;  // UTF-8, turned into code page 932 unless `bytes`
  const char* b;
  int sign;
  bool bytes = false;  // taken as they are: not code page 932
};

int Sign(int value) { return (value > 0) - (value < 0); }

class CompareCp932IgnoringCaseTest : public ::testing::TestWithParam<CompareCase> {};

TEST_P(CompareCp932IgnoringCaseTest, OrdersAsTheFoldedTexts) {
  const CompareCase c = GetParam();
  std::string a = c.a, b = c.b;
  if (!c.bytes) {
    ASSERT_TRUE(Utf8ToCp932(c.a, &a)) << c.a;
    ASSERT_TRUE(Utf8ToCp932(c.b, &b)) << c.b;
  }
  EXPECT_EQ(c.sign, Sign(CompareCp932IgnoringCase(a.c_str(), b.c_str())));
  EXPECT_EQ(-c.sign, Sign(CompareCp932IgnoringCase(b.c_str(), a.c_str())));
}

INSTANTIATE_TEST_SUITE_P(Texts, CompareCp932IgnoringCaseTest,
                         ::testing::Values(CompareCase{"README.TXT", "readme.txt", 0},
                                           CompareCase{"ＡＢＣ", "ａｂｃ", 0},  // full-width Latin
                                           CompareCase{"ΑΒΩ", "αβω", 0},        // Greek
                                           CompareCase{"ДОМ Ё", "дом ё", 0},  // Cyrillic, Ё apart
                                           CompareCase{"ⅠⅨ", "ⅰⅸ", 0},        // Roman numerals
                                           CompareCase{"ABC", "ＡＢＣ", -1},  // widths stay apart
                                           CompareCase{"ｶﾅ", "カナ", 1},      // and so do the kana
                                           CompareCase{"a", "B", -1},
                                           CompareCase{"[", "A", -1},    // "A" compares as "a"
                                           CompareCase{"abc", "AB", 1},  // a prefix sorts first
                                           // Not code page 932: the bytes, with ASCII letters
                                           // folded and nothing else.
                                           CompareCase{"Bad\x81\x20", "bAD\x81\x20", 0, true},
                                           CompareCase{"bad\x81\x20", "bad\x81\x21", -1, true},
                                           CompareCase{"\xC4\x81\x20", "\xE4\x81\x20", -1, true}));

}  // namespace
