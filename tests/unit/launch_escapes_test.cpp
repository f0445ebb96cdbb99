// The notice's escapes: backslash-n pairs become carriage returns, walked by
// the platform's character stepping so that the second byte of a Shift-JIS
// character is never taken for a backslash.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "entry/launch.h"
#include "tests/support/test_platform.h"

namespace {

struct EscapeCase {
  const char* what;
  std::string source;
  std::string expected;
};

class MessageEscapes : public UpdaterTest, public ::testing::WithParamInterface<EscapeCase> {};

TEST_P(MessageEscapes, TurnBackslashNIntoACarriageReturn) {
  const EscapeCase& c = GetParam();
  std::string destination(c.source.size() + 16, '\x7F');
  ConvertMessageEscapes(c.source.c_str(), &destination[0]);
  const size_t end = destination.find('\0');
  ASSERT_NE(std::string::npos, end);
  EXPECT_EQ(c.expected, destination.substr(0, end));
  EXPECT_LE(end, c.source.size());
}

// "表" is 0x95 0x5C in Shift-JIS: its second byte is a backslash.
const std::string kHyou = "\x95\x5C";

INSTANTIATE_TEST_SUITE_P(
    Cases, MessageEscapes,
    ::testing::Values(
        EscapeCase{"two lines", "first\\nsecond", "first\rsecond"},
        EscapeCase{"pairs in a row", "\\n\\n", "\r\r"},
        EscapeCase{"Japanese lines", Sjis("一行目\\n二行目"), Sjis("一行目\r二行目")},
        EscapeCase{"a backslash before another letter", "C:\\new\\x", "C:\rew\\x"},
        EscapeCase{"a lone backslash at the end", "end\\", "end\\"},
        EscapeCase{"a backslash before the pair", "a\\\\nb", "a\\\rb"},
        EscapeCase{"a second byte 0x5C before n", kHyou + "n", kHyou + "n"},
        EscapeCase{"a two-byte character before the pair", kHyou + "\\n", kHyou + "\r"},
        EscapeCase{"a lead byte at the end", "a\x95", "a\x95"}, EscapeCase{"an empty text", "", ""},
        EscapeCase{"a full buffer", std::string(1021, 'x') + "\\n", std::string(1021, 'x') + "\r"}),
    [](const ::testing::TestParamInfo<EscapeCase>& info) {
      std::string name;
      for (const char* p = info.param.what; *p; ++p) name += std::isalnum(uint8_t(*p)) ? *p : '_';
      return name;
    });

TEST_F(MessageEscapes, TheWalkFollowsThePlatformsStepping) {
  // A single-byte code page: 0x95 is a character of its own and the
  // following backslash starts a pair.
  platform.CharNextA = [](const char* text) -> char* {
    return const_cast<char*>(*text != '\0' ? text + 1 : text);
  };
  char destination[8];
  ConvertMessageEscapes((kHyou + "n").c_str(), destination);
  EXPECT_EQ(std::string("\x95\r"), destination);
}

}  // namespace
