#include "texts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The texts are compiled in as code page 932 bytes, whatever the compiler's
// own character set.
TEST(Texts, JapaneseMessageIsShiftJis) {
  const std::string expected =
      "\x83\x41\x83\x62\x83\x76\x83\x66\x81\x5B\x83\x67"                   // アップデート
      "\x82\xAA\x92\x86\x92\x66\x82\xB3\x82\xEA\x82\xDC\x82\xB5\x82\xBD";  // が中断されました
  EXPECT_EQ(expected, std::string(kMsgUpdateInterrupted));
}

TEST(Texts, CarriageReturnEscapeBecomesOneByte) {
  const std::string info = kInfoDiskSpace;
  EXPECT_NE(std::string::npos, info.find("\x81\x42\r%s"));  // 。 then CR
  EXPECT_EQ(std::string::npos, info.find("\\r"));
}

}  // namespace
