// The POSIX desktop's stand-in windows through the platform table: controls
// by id, their states, focus, cursor, the end of a dialog, the echo of info
// lines and message boxes, and where OK/Cancel answers come from.
#include "platform/posix/desktop_standin.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/posix/posix_functions.h"
#include "tests/support/test_platform.h"

namespace {

class DesktopStandinTest : public UpdaterTest {
 protected:
  void SetUp() override {
    UpdaterTest::SetUp();
    platform.MessageBoxA = PosixMessageBoxA;  // the terminal's own message boxes
    ResetStandinDesktop();
    echo_ = std::tmpfile();
    ASSERT_NE(nullptr, echo_);
    SetStandinEchoStream(echo_);
    dialog_ = CreateStandinDialog("UPDATE", {{1, "button", "next"},
                                             {2, "button", "cancel"},
                                             {1001, "static", "Info"},
                                             {1002, "button", "agree"},
                                             {1003, "button", "disagree"}});
  }
  void TearDown() override {
    ResetStandinDesktop();
    std::fclose(echo_);
    unsetenv("UPDATER_ANSWERS");
    UpdaterTest::TearDown();
  }

  std::string Echoed() {
    std::fflush(echo_);
    std::rewind(echo_);
    std::string text;
    for (int c; (c = std::fgetc(echo_)) != EOF;) text += char(c);
    return text;
  }

  std::FILE* echo_ = nullptr;
  win::Hwnd dialog_ = nullptr;
};

TEST_F(DesktopStandinTest, ControlsAreFoundByIdAndKeepTheirText) {
  win::Hwnd next = platform.GetDlgItem(dialog_, 1);
  ASSERT_NE(nullptr, next);
  EXPECT_EQ(FindStandinControl(dialog_, 1), StandinWindowOf(next));
  EXPECT_EQ(nullptr, platform.GetDlgItem(dialog_, 4));

  EXPECT_TRUE(platform.SetDlgItemTextA(dialog_, 1, Sjis("完了").c_str()));
  EXPECT_EQ(Sjis("完了"), StandinWindowOf(next)->text);
  EXPECT_FALSE(platform.SetDlgItemTextA(dialog_, 4, "x"));

  EXPECT_TRUE(platform.SetWindowTextA(dialog_, "caption"));
  EXPECT_EQ("caption", StandinWindowOf(dialog_)->text);
  EXPECT_EQ(kStandinDialogClass, StandinWindowOf(dialog_)->className);
}

TEST_F(DesktopStandinTest, EnableAndShowReportThePreviousState) {
  win::Hwnd next = platform.GetDlgItem(dialog_, 1);
  EXPECT_EQ(0, platform.EnableWindow(next, 0));  // was enabled
  EXPECT_FALSE(StandinWindowOf(next)->enabled);
  EXPECT_NE(0, platform.EnableWindow(next, 0));  // was disabled
  EXPECT_NE(0, platform.EnableWindow(next, 1));
  EXPECT_TRUE(StandinWindowOf(next)->enabled);

  EXPECT_NE(0, platform.ShowWindow(next, win::kSwHide));  // was visible
  EXPECT_FALSE(StandinWindowOf(next)->visible);
  EXPECT_EQ(0, platform.ShowWindow(next, win::kSwShow));
  EXPECT_TRUE(StandinWindowOf(next)->visible);
}

TEST_F(DesktopStandinTest, CheckRadioButtonChecksOneOfTheRange) {
  ASSERT_TRUE(platform.CheckRadioButton(dialog_, 1002, 1003, 1003));
  EXPECT_FALSE(FindStandinControl(dialog_, 1002)->checked);
  EXPECT_TRUE(FindStandinControl(dialog_, 1003)->checked);
  ASSERT_TRUE(platform.CheckRadioButton(dialog_, 1002, 1003, 1002));
  EXPECT_TRUE(FindStandinControl(dialog_, 1002)->checked);
  EXPECT_FALSE(FindStandinControl(dialog_, 1003)->checked);
  EXPECT_FALSE(FindStandinControl(dialog_, 1)->checked);  // outside the range
}

TEST_F(DesktopStandinTest, FocusMovesAndReportsThePreviousWindow) {
  win::Hwnd next = platform.GetDlgItem(dialog_, 1);
  win::Hwnd cancel = platform.GetDlgItem(dialog_, 2);
  EXPECT_EQ(nullptr, platform.SetFocus(next));
  EXPECT_EQ(next, StandinFocus());
  EXPECT_EQ(next, platform.SetFocus(cancel));
  EXPECT_EQ(cancel, StandinFocus());
  int notAWindow = 0;
  EXPECT_EQ(nullptr, platform.SetFocus(&notAWindow));
  EXPECT_EQ(cancel, StandinFocus());
  DestroyStandinWindow(dialog_);
  EXPECT_EQ(nullptr, StandinFocus());
}

TEST_F(DesktopStandinTest, EndDialogRecordsTheResultOfADialogOnly) {
  win::IntPtr result = 0;
  EXPECT_FALSE(StandinDialogEnded(dialog_, &result));
  EXPECT_FALSE(platform.EndDialog(platform.GetDlgItem(dialog_, 1), 5));
  EXPECT_TRUE(platform.EndDialog(dialog_, -1));
  ASSERT_TRUE(StandinDialogEnded(dialog_, &result));
  EXPECT_EQ(-1, result);
}

TEST_F(DesktopStandinTest, StaleHandlesFailLikeInvalidWindows) {
  win::Hwnd next = platform.GetDlgItem(dialog_, 1);
  DestroyStandinWindow(dialog_);
  EXPECT_EQ(nullptr, StandinWindowOf(next));
  EXPECT_EQ(nullptr, platform.GetDlgItem(dialog_, 1));
  EXPECT_FALSE(platform.SetDlgItemTextA(dialog_, 1001, "x"));
  EXPECT_FALSE(platform.SetWindowTextA(next, "x"));
  EXPECT_FALSE(platform.EndDialog(dialog_, 0));
  EXPECT_FALSE(platform.CheckRadioButton(dialog_, 1002, 1003, 1002));
  EXPECT_TRUE(StandinTopLevelWindows().empty());
}

TEST_F(DesktopStandinTest, CursorIsTheLastSystemCursorSet) {
  win::Hcursor wait = platform.LoadCursorA(nullptr, win::IntResource(win::kIdcWait));
  win::Hcursor arrow = platform.LoadCursorA(nullptr, win::IntResource(win::kIdcArrow));
  ASSERT_NE(nullptr, wait);
  ASSERT_NE(nullptr, arrow);
  EXPECT_NE(wait, arrow);
  EXPECT_EQ(nullptr, platform.LoadCursorA(nullptr, win::IntResource(1)));
  int module = 0;
  EXPECT_EQ(nullptr, platform.LoadCursorA(&module, win::IntResource(win::kIdcWait)));

  EXPECT_EQ(0u, StandinCursorId());
  EXPECT_EQ(nullptr, platform.SetCursor(wait));
  EXPECT_EQ(win::kIdcWait, StandinCursorId());
  EXPECT_EQ(wait, platform.SetCursor(arrow));
  EXPECT_EQ(win::kIdcArrow, StandinCursorId());
}

TEST_F(DesktopStandinTest, InfoLineAndMessageBoxesAreEchoedInUtf8) {
  platform.SetDlgItemTextA(dialog_, 1001, Sjis("容量が足りません。\rC: ドライブ").c_str());
  platform.SetDlgItemTextA(dialog_, 1, Sjis("完了").c_str());  // a button: not echoed
  platform.MessageBoxA(dialog_, Sjis("書き込みに失敗しました").c_str(), "UPDATE",
                       win::kMbOk | win::kMbIconError);
  EXPECT_EQ(
      "容量が足りません。\nC: ドライブ\n"
      "\n[UPDATE]\n書き込みに失敗しました\n",
      Echoed());
}

TEST_F(DesktopStandinTest, SilencedEchoPrintsNothing) {
  SetStandinEchoStream(nullptr);
  platform.SetDlgItemTextA(dialog_, 1001, "quiet");
  EXPECT_EQ("quiet", FindStandinControl(dialog_, 1001)->text);
  SetStandinEchoStream(echo_);
  EXPECT_EQ("", Echoed());
}

TEST_F(DesktopStandinTest, AnswersComeFromTheQueueThenFromTheEnvironment) {
  QueueStandinAnswers({win::kIdCancel, win::kIdOk});
  setenv("UPDATER_ANSWERS", "ok,cancel,ok", 1);
  const int expected[] = {win::kIdCancel, win::kIdOk, win::kIdOk, win::kIdCancel, win::kIdOk};
  for (int answer : expected) {
    EXPECT_EQ(answer, platform.MessageBoxA(dialog_, "disc?", "UPDATE", win::kMbOkCancel));
  }
  // A plain OK box takes no answer.
  QueueStandinAnswers({win::kIdCancel});
  EXPECT_EQ(win::kIdOk, platform.MessageBoxA(dialog_, "note", "UPDATE", win::kMbOk));
  EXPECT_EQ(win::kIdCancel, platform.MessageBoxA(dialog_, "disc?", "UPDATE", win::kMbOkCancel));
}

TEST_F(DesktopStandinTest, OtherTopLevelWindowsAreListedWithTheirClass) {
  win::Hwnd game = CreateStandinWindow("GameClass", "Game");
  std::vector<StandinWindow*> windows = StandinTopLevelWindows();
  ASSERT_EQ(2u, windows.size());
  EXPECT_EQ(StandinWindowOf(dialog_), windows[0]);
  EXPECT_EQ(StandinWindowOf(game), windows[1]);
  EXPECT_EQ("GameClass", windows[1]->className);
  EXPECT_EQ("Game", windows[1]->text);
}

}  // namespace
