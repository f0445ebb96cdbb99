// NextListToken: blanks, terminators, the disc prefix, the cursor, and
// tokens longer than their slot.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/updater_state.h"
#include "host/codepage.h"
#include "settings/settings_reader.h"
#include "tests/support/test_platform.h"

namespace {

struct Token {
  std::string text;  // UTF-8
  int32_t disc;      // currentDisc right after the token
  bool operator==(const Token& other) const { return text == other.text && disc == other.disc; }
};

std::ostream& operator<<(std::ostream& out, const Token& t) {
  return out << "'" << t.text << "' disc " << t.disc;
}

struct ListCase {
  const char* list;  // UTF-8
  std::vector<Token> tokens;
  int32_t discBefore = 0;
  size_t slotSize = 260;
};

std::ostream& operator<<(std::ostream& out, const ListCase& c) { return out << c.list; }

class ListTokens : public UpdaterTest, public ::testing::WithParamInterface<ListCase> {};

TEST_P(ListTokens, SplitUntilTheFirstEmptyField) {
  const ListCase& c = GetParam();
  std::string list = Sjis(c.list);
  const std::string original = list;
  updaterState.currentDisc = c.discBefore;
  char* cursor = &list[0];
  std::vector<Token> tokens;
  std::vector<char> slot(c.slotSize);
  while (tokens.size() <= c.tokens.size() && NextListToken(slot.data(), slot.size(), &cursor)) {
    tokens.push_back({Cp932ToUtf8Lossy(slot.data()), updaterState.currentDisc});
  }
  EXPECT_EQ(c.tokens, tokens);
  // The end of the list stays the end, on its terminator.
  char* end = cursor;
  EXPECT_EQ(0, NextListToken(slot.data(), slot.size(), &cursor));
  EXPECT_EQ(end, cursor);
  EXPECT_TRUE(*cursor == '\0' || *cursor == ',' || *cursor == '\r' || *cursor == '\n');
  EXPECT_EQ(original, list);  // the list text is left as it was
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ListTokens,
    ::testing::Values(ListCase{" a b ,c", {{"a b ", 0}, {"c", 0}}}, ListCase{"a,,b", {{"a", 0}}},
                      ListCase{"2:,x", {{"", 2}, {"x", 2}}},
                      ListCase{"1:a.bmp, b.bmp,2:c.bmp",
                               {{"a.bmp", 1}, {"b.bmp", 1}, {"c.bmp", 2}}},
                      ListCase{" 1: a", {{" a", 1}}}, ListCase{"x:\\dir", {{"\\dir", 0}}, 5},
                      ListCase{"a,", {{"a", 0}}}, ListCase{"", {}}, ListCase{" \t ", {}},
                      ListCase{",a", {}}, ListCase{"12:x", {{"12:x", 3}}, 3},
                      ListCase{"a\r\nb", {{"a", 0}}}, ListCase{"a\nb", {{"a", 0}, {"b", 0}}},
                      ListCase{"\ta\t,\tb", {{"a\t", 7}, {"b", 7}}, 7},
                      ListCase{"9:a,b,0:c", {{"a", 9}, {"b", 9}, {"c", 0}}},
                      ListCase{"-:a", {{"a", 0}}, 4}, ListCase{"2:", {{"", 2}}},
                      ListCase{"表示,ソフト,3:能力", {{"表示", 0}, {"ソフト", 0}, {"能力", 3}}},
                      ListCase{"abcdef,g", {{"abcd", 0}, {"g", 0}}, 0, 5},
                      ListCase{"あいう,g", {{"あ", 0}, {"g", 0}}, 0, 4},
                      ListCase{"aあい,g", {{"aあ", 0}, {"g", 0}}, 0, 4}));

class ListTokenSlots : public UpdaterTest {};

TEST_F(ListTokenSlots, ALongTokenIsCutToItsSlotAndTheListGoesOn) {
  std::string list = "1:" + std::string(300, 'p') + ",next";
  char* cursor = &list[0];
  char slot[260];
  updaterState.currentDisc = 0;
  ASSERT_EQ(1, NextListToken(slot, sizeof slot, &cursor));
  EXPECT_EQ(std::string(259, 'p'), slot);
  EXPECT_EQ(1, updaterState.currentDisc);
  ASSERT_EQ(1, NextListToken(slot, sizeof slot, &cursor));
  EXPECT_STREQ("next", slot);
}

TEST_F(ListTokenSlots, ACutNeverSplitsATwoByteCharacter) {
  // 130 characters of two bytes: 260 bytes, of which 259 fit.
  std::string token;
  for (int i = 0; i < 130; ++i) token += "\x95\x5C";  // 表
  std::string list = token + ",x";
  char* cursor = &list[0];
  char slot[260];
  ASSERT_EQ(1, NextListToken(slot, sizeof slot, &cursor));
  EXPECT_EQ(token.substr(0, 258), slot);
  ASSERT_EQ(1, NextListToken(slot, sizeof slot, &cursor));
  EXPECT_STREQ("x", slot);
}

TEST_F(ListTokenSlots, ASlotOfNoBytesIsLeftAloneWhileTheCursorMoves) {
  std::string list = "a,b";
  char* cursor = &list[0];
  char untouched = '#';
  EXPECT_EQ(1, NextListToken(&untouched, 0, &cursor));
  EXPECT_EQ('#', untouched);
  EXPECT_EQ(&list[2], cursor);
}

}  // namespace
