// The update run's test bench: an installation on drive C: (C:\game, data
// folder C:\save), section [UPDATE] as the updater keeps it, an archive of replacement
// files, CD-ROM drives over host folders, and a stand-in wizard dialog on
// its confirmation page. The shell's copy is the real POSIX one, watched.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "authoring/archive_writer.h"
#include "core/text_format.h"
#include "host/codepage.h"
#include "platform/posix/desktop_standin.h"
#include "platform/posix/drive_map.h"
#include "tests/runs/run_times.h"
#include "tests/support/file_ticks.h"
#include "tests/support/test_platform.h"
#include "texts.h"
#include "wizard/update_run.h"
#include "wizard/wizard_controls.h"

namespace update_run_test {

constexpr uint64_t kRecent = 1;  // expected time: written just now
inline uint64_t Now() {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return Ticks(now);
}

// A file or folder of the installation: path relative to C:\ with '/'
// (UTF-8), a folder when it ends in '/'.
struct Installed {
  std::string path;
  std::string content;
  uint64_t time;
};

struct FileState {
  std::string content;
  uint64_t time;
  bool operator==(const FileState& o) const {
    if ((time == kRecent) != (o.time == kRecent)) {
      uint64_t actual = time == kRecent ? o.time : time;
      return content == o.content && actual + 6000000000ull > Now();  // within 10 minutes
    }
    return content == o.content && time == o.time;
  }
};

inline std::ostream& operator<<(std::ostream& out, const FileState& s) {
  return out << "\"" << Cp932ToUtf8Lossy(s.content) << "\" @" << s.time;
}

// A shell copy as the run asked for it.
struct ShellCall {
  std::string from;
  std::string to;
  unsigned flags;
  bool operator==(const ShellCall& o) const {
    return from == o.from && to == o.to && flags == o.flags;
  }
};

inline std::ostream& operator<<(std::ostream& out, const ShellCall& c) {
  return out << Cp932ToUtf8Lossy(c.from) << " -> " << Cp932ToUtf8Lossy(c.to) << " (" << c.flags
             << ")";
}

// An expected message box: UTF-8 text and its type.
struct Message {
  std::string text;
  win::Uint type;
};

constexpr win::Uint kErrorBox = win::kMbOk | win::kMbIconError;

class UpdateRunTest : public UpdaterTest {
 public:
  static std::vector<ShellCall> shellCalls;
  static decltype(SystemFunctionTable::SHFileOperationA) realShellCopy;
  static bool abortShellCopy;

 protected:
  void SetUp() override {
    UpdaterTest::SetUp();
    ResolveTables();
    ResetStandinDesktop();
    SetStandinEchoStream(nullptr);
    shellCalls.clear();
    abortShellCopy = false;
    realShellCopy = systemFunctions.SHFileOperationA;
    systemFunctions.SHFileOperationA = WatchedShellCopy;

    for (const char* folder : {"game", "save", "temp", "cd-empty", "cd1", "hd"}) {
      ASSERT_EQ(0, mkdir((DriveC() + "/" + folder).c_str(), 0777));
    }
    // D: an empty CD-ROM drive, E: the CD-ROM drive with disc 1, F: a hard
    // disk that holds the check file of disc 2 (and does not count).
    SetDriveMapping('D', DriveC() + "/cd-empty", win::kDriveCdrom);
    SetDriveMapping('E', DriveC() + "/cd1", win::kDriveCdrom);
    SetDriveMapping('F', DriveC() + "/hd", win::kDriveFixed);
    WriteHostFile(DriveC() + "/cd1/DISK1.CHK", "disc 1");
    WriteHostFile(DriveC() + "/hd/DISK2.CHK", "disc 2");
    ASSERT_EQ(0, mkdir((DriveC() + "/cd1/movie").c_str(), 0777));
    WriteHostFile(DriveC() + "/cd1/movie/op.mpg", "opening");
    WriteHostFile(DriveC() + "/cd1/readme.txt", "read me");
    SetTimes(DriveC() + "/cd1/movie/op.mpg", kOldTime);
    SetTimes(DriveC() + "/cd1/readme.txt", kOldTime);
    chmod((DriveC() + "/cd1/movie/op.mpg").c_str(), 0444);  // files on a disc are read-only
    chmod((DriveC() + "/cd1/readme.txt").c_str(), 0444);

    UpdaterState& s = updaterState;
    CopyText(s.caption, sizeof s.caption, Sjis("Game アップデータ 1.1").c_str());
    CopyText(s.modeWord, sizeof s.modeWord, kModeWordUpdate);
    CopyText(s.gameTitle, sizeof s.gameTitle, "Game");
    CopyText(s.instPath, sizeof s.instPath, "C:\\game");
    CopyText(s.dataPath, sizeof s.dataPath, "C:\\save");
    CopyText(s.updateIniPath, sizeof s.updateIniPath, "C:\\temp\\UPDATE.INI");
    CopyText(s.diskCheckFiles[1], kPathSize, "DISK1.CHK");
    CopyText(s.diskCheckFiles[2], kPathSize, "DISK2.CHK");
    s.instMode = 1;
    s.quietKeys = 1;

    ArchiveItem items[] = {{"new.dat", Bytes("new data")},
                           {"opt.dat", Bytes("option")},
                           {Sjis("表.dat"), Bytes("hyou")},
                           {"save.dat", Bytes("fresh save")}};
    std::vector<ArchiveItem> list;
    for (ArchiveItem& item : items) {
      item.fileTime = win::ToFileTime(kEntryTime);
      item.compress = false;
      list.push_back(item);
    }
    std::vector<uint8_t> image;
    std::string error;
    ASSERT_TRUE(BuildArchive(list, ArchiveOptions{}, &image, &error)) << error;
    ASSERT_TRUE(UseArchive(image));

    // The wizard on its confirmation page.
    dialog_ = CreateStandinDialog(updaterState.caption, {{kIdNext, "button", Sjis("次へ")},
                                                         {kIdCancel, "button", Sjis("中止")},
                                                         {kIdBack, "button", Sjis("戻る")},
                                                         {kIdInfo, "static", "Info"}});
    FindStandinControl(dialog_, kIdBack)->enabled = false;
    s.ownerWindow = dialog_;
  }

  void TearDown() override {
    ResetStandinDesktop();
    UpdaterTest::TearDown();
  }

  static std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
  }

  static void SetTimes(const std::string& host, uint64_t ticks) {
    ASSERT_TRUE(SetHostTimes(host, ticks)) << host;
  }

  void RemoveHostFile(const std::string& relative) {
    ASSERT_EQ(0, unlink((DriveC() + "/" + relative).c_str())) << relative;
  }

  // Writes section [UPDATE] (UTF-8 lines, converted to code page 932).
  void UseUpdateLines(const std::string& lines) { UseUpdateIni(Sjis("[UPDATE]\r\n" + lines)); }

  void Install(const std::vector<Installed>& files) {
    for (const Installed& f : files) {
      std::string host = DriveC() + "/" + f.path;
      if (f.path.back() == '/') {
        ASSERT_EQ(0, mkdir(host.c_str(), 0777)) << f.path;
      } else {
        WriteHostFile(host, f.content);
        SetTimes(host, f.time);
      }
    }
  }

  // Files and folders under C:\game and C:\save; folders have no time.
  std::map<std::string, FileState> Installation() const {
    std::map<std::string, FileState> tree;
    for (const char* folder : {"game/", "save/"}) {
      ForEachHostFile(DriveC(), folder, [&](const std::string& path, const struct stat& st) {
        tree[path] = path.back() == '/'
                         ? FileState{"", 0}
                         : FileState{ReadHostFile(DriveC() + "/" + path), Ticks(st.st_mtim)};
      });
    }
    return tree;
  }

  static std::map<std::string, FileState> Expected(const std::vector<Installed>& before,
                                                   const std::vector<Installed>& after) {
    std::map<std::string, FileState> tree;
    for (const auto* list : {&before, &after}) {
      for (const Installed& f : *list) {
        tree[f.path] = FileState{f.content, f.path.back() == '/' ? 0 : f.time};
      }
    }
    return tree;
  }

  std::vector<Message> Messages() const {
    std::vector<Message> list;
    for (const RecordedMessageBox& m : messages) list.push_back({m.text, m.type});
    return list;
  }

  static std::vector<Message> InSjis(const std::vector<Message>& utf8) {
    std::vector<Message> list;
    for (const Message& m : utf8) list.push_back({Sjis(m.text), m.type});
    return list;
  }

  StandinWindow* Control(int id) const { return FindStandinControl(dialog_, id); }
  std::string InfoLine() const { return Control(kIdInfo)->text; }

  // The wizard after a complete run.
  void ExpectComplete() const {
    EXPECT_EQ(Sjis("アップデートは完了しました"), InfoLine());
    EXPECT_EQ(Sjis("完了"), Control(kIdNext)->text);
    EXPECT_TRUE(Control(kIdNext)->enabled);
    EXPECT_FALSE(Control(kIdBack)->enabled);
    EXPECT_FALSE(Control(kIdCancel)->enabled);
    EXPECT_EQ(Control(kIdNext)->Handle(), StandinFocus());
    EXPECT_EQ(win::kIdcArrow, StandinCursorId());
    EXPECT_FALSE(StandinDialogEnded(dialog_, nullptr));
  }

  // The wizard after a failed run: ended with -1, everything disabled.
  void ExpectFailed() const {
    win::IntPtr result = 0;
    EXPECT_TRUE(StandinDialogEnded(dialog_, &result));
    EXPECT_EQ(-1, result);
    EXPECT_FALSE(Control(kIdNext)->enabled);
    EXPECT_FALSE(Control(kIdBack)->enabled);
    EXPECT_FALSE(Control(kIdCancel)->enabled);
    EXPECT_EQ(Sjis("次へ"), Control(kIdNext)->text);
    EXPECT_EQ(win::kIdcWait, StandinCursorId());
  }

  // The real shell copy, with the call recorded and checked.
 public:
  static int WINAPI_CC WatchedShellCopy(win::ShFileOp* op) {
    // Both lists hold one path ended by two NULs.
    EXPECT_EQ('\0', op->pFrom[std::strlen(op->pFrom) + 1]);
    EXPECT_EQ('\0', op->pTo[std::strlen(op->pTo) + 1]);
    EXPECT_EQ(win::kFoCopy, op->wFunc);
    EXPECT_EQ(updaterState.ownerWindow, op->hwnd);
    EXPECT_EQ(nullptr, op->lpszProgressTitle);
    EXPECT_EQ(nullptr, op->hNameMappings);
    shellCalls.push_back({op->pFrom, op->pTo, op->fFlags});
    int result = realShellCopy(op);
    if (abortShellCopy) op->fAnyOperationsAborted = 1;
    return result;
  }

 protected:
  win::Hwnd dialog_ = nullptr;
};

inline std::vector<ShellCall> UpdateRunTest::shellCalls;
inline decltype(SystemFunctionTable::SHFileOperationA) UpdateRunTest::realShellCopy = nullptr;
inline bool UpdateRunTest::abortShellCopy = false;

inline std::ostream& operator<<(std::ostream& out, const Message& m) {
  return out << "[" << m.type << "] " << Cp932ToUtf8Lossy(m.text);
}
inline bool operator==(const Message& a, const Message& b) {
  return a.text == b.text && a.type == b.type;
}

}  // namespace update_run_test
