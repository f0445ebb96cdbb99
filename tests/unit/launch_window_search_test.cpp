// The POSIX window searches: FindWindowA over the stand-in desktop (the
// dialog class by its atom, names and titles without regard to case), the
// window list of other processes, and SetForegroundWindow.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/posix/desktop_standin.h"
#include "platform/posix/window_search.h"
#include "tests/support/test_platform.h"

namespace {

const char* const kDialogAtom = win::IntResource(win::kDialogClassAtom);

class WindowSearch : public UpdaterTest {
 protected:
  void SetUp() override {
    UpdaterTest::SetUp();
    ResetStandinDesktop();
    list_ = DriveC() + "/windows.txt";
  }
  void TearDown() override {
    unsetenv("UPDATER_WINDOWS");
    ResetStandinDesktop();
    UpdaterTest::TearDown();
  }
  void UseList(const std::string& content) {
    WriteHostFile(list_, content);
    setenv("UPDATER_WINDOWS", list_.c_str(), 1);
  }
  std::string list_;
};

TEST_F(WindowSearch, FindsByClassAndTitle) {
  win::Hwnd updater = CreateStandinDialog(Sjis("星の旅路 アップデータ Ver1.01"), {});
  win::Hwnd game = CreateStandinWindow("StarJourneyWnd", Sjis("星の旅路"));
  win::Hwnd other = CreateStandinWindow("Notepad", Sjis("星の旅路 アップデータ Ver1.01"));

  struct Case {
    const char* className;
    std::string title;
    win::Hwnd found;
  };
  for (const Case& c : {
           Case{kDialogAtom, Sjis("星の旅路 アップデータ Ver1.01"), updater},
           Case{kDialogAtom, Sjis("星の旅路 アップデータ VER1.01"), updater},
           Case{kDialogAtom, Sjis("星の旅路"), nullptr},
           Case{win::IntResource(0x8001), Sjis("星の旅路 アップデータ Ver1.01"), nullptr},
           Case{"#32770", Sjis("星の旅路 アップデータ Ver1.01"), updater},
           Case{"starjourneywnd", Sjis("星の旅路"), game},
           Case{"StarJourneyWnd", Sjis("星の旅路 体験版"), nullptr},
           Case{"Notepad", Sjis("星の旅路 アップデータ Ver1.01"), other},
           Case{"Other", Sjis("星の旅路"), nullptr},
       }) {
    EXPECT_EQ(c.found, platform.FindWindowA(c.className, c.title.c_str())) << c.className;
  }
  EXPECT_EQ(updater, platform.FindWindowA(nullptr, Sjis("星の旅路 アップデータ Ver1.01").c_str()));
  EXPECT_EQ(game, platform.FindWindowA("StarJourneyWnd", nullptr));
}

TEST_F(WindowSearch, ControlsAreNotTopLevelWindows) {
  CreateStandinDialog("UPDATE", {{1, "button", "OK"}});
  EXPECT_EQ(nullptr, platform.FindWindowA("button", "OK"));
}

TEST_F(WindowSearch, TheListIsReadAtEverySearch) {
  UseList("# running programs\nStarJourneyWnd\t星の旅路\n\nbroken line\n");
  win::Hwnd game = platform.FindWindowA("StarJourneyWnd", Sjis("星の旅路").c_str());
  ASSERT_NE(nullptr, game);
  EXPECT_EQ(game, platform.FindWindowA("StarJourneyWnd", Sjis("星の旅路").c_str()))
      << "the same window while it is listed";

  WriteHostFile(list_, "#32770\t星の旅路 アップデータ\n");
  EXPECT_EQ(nullptr, platform.FindWindowA("StarJourneyWnd", Sjis("星の旅路").c_str()));
  EXPECT_EQ(nullptr, StandinWindowOf(game)) << "its window is gone";
  EXPECT_NE(nullptr, platform.FindWindowA(kDialogAtom, Sjis("星の旅路 アップデータ").c_str()));
}

TEST_F(WindowSearch, WindowsOfEndedProcessesAndOfThisOneAreSkipped) {
  const std::string self = std::to_string(getpid());
  const std::string parent = std::to_string(getppid());
  UseList("#32770\tA\t999999999\n#32770\tB\t" + self + "\n#32770\tC\t" + parent + "\n");
  EXPECT_EQ(nullptr, platform.FindWindowA(kDialogAtom, "A"));
  EXPECT_EQ(nullptr, platform.FindWindowA(kDialogAtom, "B"));
  EXPECT_NE(nullptr, platform.FindWindowA(kDialogAtom, "C"));
}

TEST_F(WindowSearch, ListedWindowsSurviveADesktopReset) {
  UseList("Game\tTitle\n");
  ASSERT_NE(nullptr, platform.FindWindowA("Game", "Title"));
  ResetStandinDesktop();
  win::Hwnd again = platform.FindWindowA("Game", "Title");
  ASSERT_NE(nullptr, again);
  EXPECT_NE(nullptr, StandinWindowOf(again));
}

TEST_F(WindowSearch, TheForegroundIsALiveTopLevelWindow) {
  win::Hwnd dialog = CreateStandinDialog("UPDATE", {{1, "button", "OK"}});
  EXPECT_EQ(nullptr, StandinForegroundWindow());
  EXPECT_EQ(0, platform.SetForegroundWindow(platform.GetDlgItem(dialog, 1)));
  EXPECT_EQ(0, platform.SetForegroundWindow(reinterpret_cast<win::Hwnd>(&list_)));
  EXPECT_EQ(nullptr, StandinForegroundWindow());
  EXPECT_NE(0, platform.SetForegroundWindow(dialog));
  EXPECT_EQ(dialog, StandinForegroundWindow());
  DestroyStandinWindow(dialog);
  EXPECT_EQ(nullptr, StandinForegroundWindow());
}

TEST_F(WindowSearch, PublishedWindowsComeAndGoFromTheList) {
  UseList("Game\tTitle\n");
  win::Hwnd dialog = CreateStandinDialog(Sjis("星の旅路 アップデータ"), {});
  PublishStandinWindow(dialog);
  const std::string line = "#32770\t星の旅路 アップデータ\t" + std::to_string(getpid());
  EXPECT_EQ("Game\tTitle\n" + line + "\n", ReadHostFile(list_));
  // Its own process does not find it twice.
  platform.FindWindowA(kDialogAtom, nullptr);
  EXPECT_EQ(2u, StandinTopLevelWindows().size());  // the dialog and the game
  WithdrawStandinWindow(dialog);
  EXPECT_EQ("Game\tTitle\n", ReadHostFile(list_));
}

}  // namespace
