// The power-cut simulator: what survives a cut after changes made through
// the platform tables, over many seeds. Each case says what must hold after
// every cut and, where the cut may lose something, what some seed must show.
#include "tests/support/power_cut.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <set>
#include <string>

#include "core/system_functions.h"
#include "tests/support/test_platform.h"

namespace {

constexpr uint32_t kSeeds = 40;
constexpr win::Dword kTruncateExisting = 5;

// Every file and folder (ending in '/') under `folder`, with its content.
using Files = std::map<std::string, std::string>;

void Collect(const std::string& folder, const std::string& prefix, Files* files) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "/" + name;
    struct stat st;
    stat(path.c_str(), &st);
    if (S_ISDIR(st.st_mode)) {
      (*files)[prefix + name + "/"] = "";
      Collect(path, prefix + name + "/", files);
    } else {
      (*files)[prefix + name] = ReadHostFile(path);
    }
  }
  closedir(dir);
}

void RemoveBelow(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "/" + name;
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      RemoveBelow(path);
      rmdir(path.c_str());
    } else {
      unlink(path.c_str());
    }
  }
  closedir(dir);
}

bool Has(const Files& files, const std::string& path) { return files.count(path) != 0; }
std::string At(const Files& files, const std::string& path) {
  auto it = files.find(path);
  return it == files.end() ? "<none>" : it->second;
}
bool IsPrefix(const std::string& part, const std::string& whole) {
  return whole.compare(0, part.size(), part) == 0;
}
// `now` is `written` cut to some length over `earlier`: what a write at
// offset 0 leaves when only its first bytes reached the disk.
bool IsPartOver(const std::string& now, const std::string& written, const std::string& earlier) {
  for (size_t kept = 0; kept <= written.size(); ++kept) {
    std::string expected = earlier;
    if (expected.size() < kept) expected.resize(kept);
    expected.replace(0, kept, written, 0, kept);
    if (now == expected) return true;
  }
  return false;
}

// Changes through the tables, on DOS paths of drive C:.
win::Handle Open(const char* path, win::Dword disposition) {
  return systemFunctions.CreateFileA(path, win::kGenericWrite, 0, nullptr, disposition, 0, nullptr);
}
void Write(win::Handle file, const std::string& data) {
  win::Dword written = 0;
  EXPECT_EQ(
      1, systemFunctions.WriteFile(file, data.data(), win::Dword(data.size()), &written, nullptr));
}
void WriteFileAt(const char* path, win::Dword disposition, const std::string& data, bool flush) {
  win::Handle file = Open(path, disposition);
  ASSERT_NE(win::InvalidHandle(), file) << path;
  Write(file, data);
  if (flush) {
    EXPECT_EQ(1, platform.FlushFileBuffers(file));
  }
  systemFunctions.CloseHandle(file);
}
void Move(const char* from, const char* to, win::Dword flags) {
  EXPECT_EQ(1, platform.MoveFileExA(from, to, flags)) << from << " -> " << to;
}

struct Case {
  const char* name;
  Files before;  // the files (and folders, ending in '/') before the changes
  std::function<void()> changes;
  std::function<bool(const Files&)> always;     // after every cut
  std::function<bool(const Files&)> sometimes;  // after the cut of some seed; or none
};

const Case kCases[] = {
    {"an unflushed write can be lost while a flushed one survives",
     {{"a.txt", "old a"}, {"b.txt", "old b content"}},
     [] {
       WriteFileAt("C:\\a.txt", win::kOpenExisting, "flushed a", true);
       WriteFileAt("C:\\b.txt", win::kOpenExisting, "unflushed data", false);
     },
     [](const Files& f) {
       return At(f, "a.txt") == "flushed a" &&
              IsPartOver(At(f, "b.txt"), "unflushed data", "old b content");
     },
     [](const Files& f) { return At(f, "b.txt") != "unflushed data"; }},

    {"a rename written through survives, with every metadata change before it",
     {{"gone.txt", "g"}},
     [] {
       WriteFileAt("C:\\x.tmp", win::kCreateNew, "staged", true);
       EXPECT_EQ(1, platform.CreateDirectoryA("C:\\later", nullptr));
       systemFunctions.CloseHandle(Open("C:\\made.txt", win::kCreateNew));
       EXPECT_EQ(1, platform.DeleteFileA("C:\\gone.txt"));
       Move("C:\\x.tmp", "C:\\x.txt", win::kMoveFileWriteThrough);
     },
     [](const Files& f) {
       return f == Files{{"later/", ""}, {"made.txt", ""}, {"x.txt", "staged"}};
     },
     nullptr},

    {"a rename after which nothing was flushed may be lost",
     {{"old.txt", "content"}},
     [] { Move("C:\\old.txt", "C:\\new.txt", 0); },
     [](const Files& f) {
       return f == Files{{"old.txt", "content"}} || f == Files{{"new.txt", "content"}};
     },
     [](const Files& f) { return Has(f, "old.txt"); }},

    {"a file renamed over another after its data was flushed keeps its data",
     {{"target.txt", "old"}},
     [] {
       WriteFileAt("C:\\staged.tmp", win::kCreateNew, "new data", true);
       Move("C:\\staged.tmp", "C:\\target.txt", win::kMoveFileReplaceExisting);
     },
     [](const Files& f) {
       return f == Files{{"target.txt", "new data"}} ||
              f == Files{{"target.txt", "old"}, {"staged.tmp", "new data"}};
     },
     [](const Files& f) { return At(f, "target.txt") == "new data"; }},

    {"data not flushed before a rename written through can come out empty or short",
     {{"target.txt", "old"}},
     [] {
       WriteFileAt("C:\\staged.tmp", win::kCreateNew, "new data", false);
       Move("C:\\staged.tmp", "C:\\target.txt",
            win::kMoveFileReplaceExisting | win::kMoveFileWriteThrough);
     },
     [](const Files& f) { return f.size() == 1 && IsPrefix(At(f, "target.txt"), "new data"); },
     [](const Files& f) { return At(f, "target.txt").size() < 8; }},

    {"a write lost below a kept later one reads as zeros",
     {},
     [] {
       win::Handle file = Open("C:\\log.txt", win::kCreateNew);
       EXPECT_EQ(1, platform.FlushFileBuffers(file));
       Write(file, "AAAA");
       Write(file, "BBBB");
       systemFunctions.CloseHandle(file);
     },
     [](const Files& f) {
       const std::string log = At(f, "log.txt");
       if (f.size() != 1 || log.size() > 8) return false;
       for (size_t i = 0; i < log.size(); ++i) {
         if (log[i] != '\0' && log[i] != "AAAABBBB"[i]) return false;
       }
       return true;
     },
     [](const Files& f) { return At(f, "log.txt") == std::string("\0\0\0\0BBBB", 8); }},

    {"a truncation that was not flushed can be lost, the old bytes showing",
     {{"save.dat", "old content"}},
     [] { WriteFileAt("C:\\save.dat", win::kCreateAlways, "new", false); },
     [](const Files& f) {
       const std::string save = At(f, "save.dat");
       return f.size() == 1 &&
              (IsPartOver(save, "new", "") || IsPartOver(save, "new", "old content"));
     },
     [](const Files& f) { return At(f, "save.dat") == "new content"; }},

    {"a truncation flushed with its data is kept",
     {{"save.dat", "old content"}},
     [] { WriteFileAt("C:\\save.dat", kTruncateExisting, "new", true); },
     [](const Files& f) {
       return f == Files{{"save.dat", "new"}};
     },
     nullptr},

    {"the shell's copy flushes nothing",
     {{"src/", ""}, {"src/f.txt", "copied content"}, {"dst/", ""}},
     [] {
       win::ShFileOp copy{};
       copy.wFunc = win::kFoCopy;
       copy.pFrom = "C:\\src\\f.txt\0";
       copy.pTo = "C:\\dst\0";
       copy.fFlags = win::kFofNoConfirmation | win::kFofNoConfirmMkdir;
       EXPECT_EQ(0, systemFunctions.SHFileOperationA(&copy));
     },
     [](const Files& f) {
       return At(f, "src/f.txt") == "copied content" &&
              (!Has(f, "dst/f.txt") || IsPrefix(At(f, "dst/f.txt"), "copied content"));
     },
     [](const Files& f) { return At(f, "dst/f.txt") != "copied content"; }},
};

class PowerCutTest : public UpdaterTest {
 protected:
  void Put(const Files& files) {
    RemoveBelow(DriveC());
    for (const auto& [path, content] : files) {
      if (path.back() == '/') {
        ASSERT_EQ(0, mkdir((DriveC() + "/" + path).c_str(), 0777));
      } else {
        WriteHostFile(DriveC() + "/" + path, content);
      }
    }
  }

  Files Now() const {
    Files files;
    Collect(DriveC(), "", &files);
    return files;
  }

  // The files after `changes` and a power cut with `seed`.
  Files AfterCut(const Files& before, const std::function<void()>& changes, uint32_t seed) {
    Put(before);
    {
      PowerCut power(seed);
      ResolveTables();
      changes();
      EXPECT_EQ("", power.CutPower());
    }
    return Now();
  }
};

std::string Show(const Files& files) {
  std::string out;
  for (const auto& [path, content] : files) out += " " + path + "=\"" + content + "\"";
  return out;
}

TEST_F(PowerCutTest, WhatSurvivesACut) {
  for (const Case& c : kCases) {
    bool seen = c.sometimes == nullptr;
    for (uint32_t seed = 1; seed <= kSeeds; ++seed) {
      const Files after = AfterCut(c.before, c.changes, seed);
      EXPECT_TRUE(c.always(after)) << c.name << ", seed " << seed << ":" << Show(after);
      seen |= c.sometimes != nullptr && c.sometimes(after);
    }
    EXPECT_TRUE(seen) << c.name << ": no seed of " << kSeeds << " showed the loss";
  }
}

TEST_F(PowerCutTest, TheSameSeedGivesTheSameDiskAndOtherSeedsOthers) {
  const Files before = {{"a.txt", "old a"}, {"b.txt", "old b"}};
  const auto changes = [] {
    WriteFileAt("C:\\a.txt", win::kCreateAlways, "new a, longer", false);
    WriteFileAt("C:\\c.tmp", win::kCreateNew, "new c", false);
    Move("C:\\c.tmp", "C:\\b.txt", win::kMoveFileReplaceExisting);
    EXPECT_EQ(1, platform.CreateDirectoryA("C:\\d", nullptr));
    WriteFileAt("C:\\d\\e.txt", win::kCreateNew, "new e", false);
  };
  std::set<Files> outcomes;
  for (uint32_t seed = 1; seed <= kSeeds; ++seed) {
    const Files first = AfterCut(before, changes, seed);
    EXPECT_EQ(first, AfterCut(before, changes, seed)) << "seed " << seed;
    outcomes.insert(first);
  }
  EXPECT_GT(outcomes.size(), 5u);
}

TEST_F(PowerCutTest, AChangeMadeAroundTheTablesIsReportedAndNothingIsRebuilt) {
  Put({{"a.txt", "old"}});
  PowerCut power(1);
  ResolveTables();
  WriteFileAt("C:\\b.txt", win::kCreateNew, "through the tables", false);
  WriteHostFile(DriveC() + "/a.txt", "around them");
  const std::string report = power.CutPower();
  EXPECT_NE(std::string::npos, report.find("a.txt")) << report;
  EXPECT_EQ(std::string::npos, report.find("b.txt")) << report;
  EXPECT_EQ((Files{{"a.txt", "around them"}, {"b.txt", "through the tables"}}), Now());
}

}  // namespace
