// The terminal's modal dialog: the controls of templates 100 and 101, the
// initialisation, presses from the queue, UPDATER_WIZARD and the close box,
// presses on controls that cannot take them, the printed page and the end.
// A small dialog procedure records what reaches it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/posix/terminal_dialog.h"
#include "platform/posix/window_search.h"
#include "tests/support/test_platform.h"

namespace {

struct Received {
  win::Uint message;
  win::WParam first;
  win::LParam second;
};

std::vector<Received> received;
win::IntPtr initAnswer = 0;
int endOnCommand = -1;  // a control id that ends the dialog with its id * 10
bool endDuringInit = false;
std::vector<int> disabledAtInit;
std::string listDuringCommand;  // the window list while a command is handled
bool focusOnNextDuringCommand = false;

win::IntPtr WINAPI_CC Recorder(win::Hwnd dialog, win::Uint message, win::WParam first,
                               win::LParam second) {
  received.push_back({message, first, second});
  if (message == win::kWmInitDialog) {
    for (int id : disabledAtInit) platform.EnableWindow(platform.GetDlgItem(dialog, id), 0);
    if (endDuringInit) platform.EndDialog(dialog, 7);
    return initAnswer;
  }
  if (message == win::kWmCommand) {
    if (const char* list = std::getenv("UPDATER_WINDOWS")) listDuringCommand = ReadHostFile(list);
    focusOnNextDuringCommand = StandinFocus() == platform.GetDlgItem(dialog, 1);
    if (int(first & 0xFFFF) == endOnCommand) {
      platform.EndDialog(dialog, win::IntPtr(endOnCommand) * 10);
    }
  }
  return 0;
}

class TerminalDialog : public UpdaterTest {
 protected:
  void SetUp() override {
    UpdaterTest::SetUp();
    ResetStandinDesktop();
    ClearWizardInput();
    echo_ = std::tmpfile();
    ASSERT_NE(nullptr, echo_);
    SetStandinEchoStream(echo_);
    received.clear();
    initAnswer = 0;
    endOnCommand = -1;
    endDuringInit = false;
    disabledAtInit.clear();
    listDuringCommand.clear();
  }
  void TearDown() override {
    ClearWizardInput();
    ResetStandinDesktop();
    std::fclose(echo_);
    unsetenv("UPDATER_WIZARD");
    unsetenv("UPDATER_WINDOWS");
    UpdaterTest::TearDown();
  }

  win::IntPtr Run(unsigned templateId, win::LParam parameter = 0) {
    return platform.DialogBoxParamA(nullptr, win::IntResource(templateId), nullptr, Recorder,
                                    parameter);
  }

  // The ids of the commands that reached the procedure.
  static std::vector<int> Commands() {
    std::vector<int> ids;
    for (const Received& r : received) {
      if (r.message == win::kWmCommand) ids.push_back(int(r.first));
    }
    return ids;
  }

  std::string Echoed() {
    std::fflush(echo_);
    std::rewind(echo_);
    std::string text;
    for (int c; (c = std::fgetc(echo_)) != EOF;) text += char(c);
    return text;
  }

  std::FILE* echo_ = nullptr;
};

TEST_F(TerminalDialog, TemplatesHoldTheWizardsControlsInTabOrder) {
  struct Expected {
    unsigned id;
    std::vector<std::pair<int, std::string>> controls;  // id, UTF-8 text
  };
  for (const Expected& e : {Expected{100, {{1, "次へ"}, {2, "中止"}, {4, "戻る"}, {1001, "Info"}}},
                            Expected{101,
                                     {{1, "次へ"},
                                      {2, "中止"},
                                      {4, "戻る"},
                                      {1001, "Info"},
                                      {1000, ""},
                                      {1002, "同意する"},
                                      {1003, "同意しない"}}}}) {
    std::string caption;
    std::vector<NewStandinControl> controls;
    ASSERT_TRUE(TerminalDialogTemplate(e.id, &caption, &controls));
    EXPECT_EQ("UPDATE", caption);
    ASSERT_EQ(e.controls.size(), controls.size());
    for (size_t i = 0; i < controls.size(); ++i) {
      EXPECT_EQ(e.controls[i].first, controls[i].id);
      EXPECT_EQ(Sjis(e.controls[i].second), controls[i].text);
    }
  }
  std::string caption;
  std::vector<NewStandinControl> controls;
  EXPECT_FALSE(TerminalDialogTemplate(102, &caption, &controls));
}

TEST_F(TerminalDialog, AnUnknownTemplateCannotBeCreated) {
  EXPECT_EQ(-1, Run(102));
  EXPECT_TRUE(received.empty());
  EXPECT_EQ(-1, platform.DialogBoxParamA(nullptr, "WIZARD", nullptr, Recorder, 0));
  EXPECT_TRUE(StandinTopLevelWindows().empty());
}

TEST_F(TerminalDialog, PressesBecomeClicksUntilTheDialogEnds) {
  endOnCommand = 2;
  QueueWizardInput({"agree", "n", " Disagree ", "b", "nonsense", "cancel", "next"});
  EXPECT_EQ(20, Run(101, 42));

  ASSERT_FALSE(received.empty());
  EXPECT_EQ(win::kWmInitDialog, received[0].message);
  EXPECT_EQ(42, received[0].second);
  EXPECT_EQ((std::vector<int>{1002, 1, 1003, 4, 2}), Commands());
  EXPECT_TRUE(StandinTopLevelWindows().empty()) << "the dialog is gone";
  EXPECT_NE(std::string::npos, Echoed().find("unknown press 'nonsense'"));
}

TEST_F(TerminalDialog, ControlsThatAreOffOrHiddenTakeNoPress) {
  disabledAtInit = {1};
  endOnCommand = 2;
  QueueWizardInput({"next", "agree", "cancel"});
  // Template 100 has no agreement controls.
  EXPECT_EQ(20, Run(100));
  EXPECT_EQ(std::vector<int>{2}, Commands());
}

TEST_F(TerminalDialog, TheCloseBoxIsCancelWhileCancelIsOn) {
  endOnCommand = 2;
  QueueWizardInput({"close"});
  EXPECT_EQ(20, Run(100));
  EXPECT_EQ(std::vector<int>{2}, Commands());
}

TEST_F(TerminalDialog, WithoutInputTheWindowIsClosed) {
  endOnCommand = 2;
  EXPECT_EQ(20, Run(100));
  EXPECT_EQ(std::vector<int>{2}, Commands());
}

TEST_F(TerminalDialog, WithoutInputAndWithCancelOffTheDialogIsAbandoned) {
  disabledAtInit = {2};
  QueueWizardInput({"x"});
  EXPECT_EQ(-1, Run(100));
  EXPECT_TRUE(Commands().empty());
  EXPECT_NE(std::string::npos, Echoed().find("the dialog is abandoned"));
  EXPECT_TRUE(StandinTopLevelWindows().empty());
}

TEST_F(TerminalDialog, TheScriptComesAfterTheQueue) {
  endOnCommand = 4;
  setenv("UPDATER_WIZARD", "agree,back,next", 1);
  QueueWizardInput({"disagree"});
  EXPECT_EQ(40, Run(101));
  EXPECT_EQ((std::vector<int>{1003, 1002, 4}), Commands());
  // The rest of the script is left for the next dialog.
  endOnCommand = 1;
  received.clear();
  EXPECT_EQ(10, Run(101));
  EXPECT_EQ(std::vector<int>{1}, Commands());
}

TEST_F(TerminalDialog, AnEndDuringInitialisationTakesNoPress) {
  endDuringInit = true;
  QueueWizardInput({"next"});
  EXPECT_EQ(7, Run(100));
  EXPECT_TRUE(Commands().empty());
}

TEST_F(TerminalDialog, FocusGoesToTheFirstControlOnlyWhenAskedFor) {
  struct Case {
    win::IntPtr answer;
    bool focused;  // on Next, the first control
  };
  for (Case c : {Case{0, false}, Case{1, true}}) {
    initAnswer = c.answer;
    endOnCommand = 2;
    QueueWizardInput({"cancel"});
    received.clear();
    Run(100);
    ASSERT_FALSE(received.empty());
    EXPECT_NE(0u, received[0].first) << "the first control comes with WM_INITDIALOG";
    EXPECT_EQ(c.focused, focusOnNextDuringCommand) << c.answer;
  }
}

TEST_F(TerminalDialog, ThePageIsPrintedInUtf8) {
  endOnCommand = 2;
  disabledAtInit = {4};
  QueueWizardInput({"cancel"});
  Run(101);
  const std::string page = Echoed();
  for (const char* part : {"==== UPDATE ====", "Info", "( ) 同意する [a]", "[n] 次へ   ",
                           "[c] 中止   ", "[b] 戻る (off)"}) {
    EXPECT_NE(std::string::npos, page.find(part)) << part << "\n" << page;
  }
}

TEST_F(TerminalDialog, AnOpenDialogIsListedForOtherProcesses) {
  const std::string list = DriveC() + "/windows.txt";
  WriteHostFile(list, "Other\tAnother window\n");
  setenv("UPDATER_WINDOWS", list.c_str(), 1);
  endOnCommand = 2;
  QueueWizardInput({"cancel"});
  Run(100);
  EXPECT_EQ("Other\tAnother window\n#32770\tUPDATE\t" + std::to_string(getpid()) + "\n",
            listDuringCommand);
  EXPECT_EQ("Other\tAnother window\n", ReadHostFile(list));
}

}  // namespace
