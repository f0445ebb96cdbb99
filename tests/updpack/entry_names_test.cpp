// Entry names as create makes them from file names.
#include "tools/updpack/packing/entry_names.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Repeat(const std::string& piece, size_t times) {
  std::string s;
  for (size_t i = 0; i < times; ++i) s += piece;
  return s;
}

// Linux keeps a name to 255 bytes of UTF-8, which is never more than 259
// bytes of code page 932, so only names coming from elsewhere reach the limit.
TEST(EntryNames, AtMost259BytesInCodePage932) {
  std::string cp932, error;
  EXPECT_TRUE(EntryNameFromFileName(Repeat("あ", 129) + "x", &cp932, &error)) << error;
  EXPECT_EQ(259u, cp932.size());
  EXPECT_FALSE(EntryNameFromFileName(Repeat("あ", 130), &cp932, &error));
  EXPECT_EQ("is 260 bytes long in code page 932; an entry name holds at most 259", error);
}

// Names are checked once converted: ¥ becomes the backslash byte, while
// two-byte characters ending in 0x5C stay one character.
TEST(EntryNames, CheckedAfterConversion) {
  std::string cp932, error;
  EXPECT_FALSE(EntryNameFromFileName("..¥..¥Windows¥evil.txt", &cp932, &error));
  EXPECT_NE(std::string::npos, error.find("holds a backslash")) << error;
  EXPECT_FALSE(EntryNameFromFileName("readme.", &cp932, &error));
  ASSERT_TRUE(EntryNameFromFileName("表ソ.txt", &cp932, &error)) << error;
  EXPECT_EQ("\x95\x5C\x83\x5C.txt", cp932);
}

TEST(EntryNames, HalfWidthKatakanaTakeOneByte) {
  std::string cp932, error;
  ASSERT_TRUE(EntryNameFromFileName("ｶﾅ.ogg", &cp932, &error)) << error;
  EXPECT_EQ("\xB6\xC5.ogg", cp932);
}

TEST(EntryNames, SameNamesAsTheUpdaterComparesThem) {
  struct Case {
    std::vector<std::string> utf8;
    bool same;
  };
  const Case cases[] = {{{"a.txt", "b.txt", "A.TXT"}, true}, {{"ａｂ.txt", "ＡＢ.TXT"}, true},
                        {{"ab.txt", "ＡＢ.txt"}, false},  // full width is another letter
                        {{"ω.dat", "Ω.dat"}, true},          {{"я.dat", "Я.dat"}, true},
                        {{"ｶﾅ.dat", "カナ.dat"}, false},     {{"データ.bin", "データ.BIN"}, true}};
  for (const Case& c : cases) {
    std::vector<std::string> names;
    for (const std::string& u : c.utf8) {
      std::string cp932, error;
      ASSERT_TRUE(EntryNameFromFileName(u, &cp932, &error)) << u << ": " << error;
      names.push_back(cp932);
    }
    size_t first = 99, second = 99;
    EXPECT_EQ(c.same, FindSameNames(names, &first, &second)) << c.utf8[0];
    if (c.same) {
      EXPECT_NE(first, second);
    }
  }
}

TEST(EntryNames, OrderIsByUnsignedBytes) {
  EXPECT_TRUE(EntryNameBefore("Z", "a"));
  EXPECT_TRUE(EntryNameBefore("a", "\x83\x66"));
  EXPECT_TRUE(EntryNameBefore("\x83\x66", "\xB6"));
  EXPECT_TRUE(EntryNameBefore("ab", "abc"));
  EXPECT_FALSE(EntryNameBefore("abc", "abc"));
}

}  // namespace
