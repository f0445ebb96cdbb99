// The fixture of the tests that run updpack for real: a temporary folder,
// the binary run in it with its output caught, and a small game to pack.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "authoring/archive_reader.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct Result {
  int status = -1;
  std::string out, err;
};

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

Bytes ReadBytes(const std::string& path) {
  const std::string s = ReadText(path);
  return Bytes(s.begin(), s.end());
}

void WriteBytes(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

// A FILETIME and the same moment as a timespec.
constexpr uint64_t kFileTime = 126256467067000000ull;  // 2001-02-03T04:05:06.7Z
constexpr timespec kTime = {981173106, 700000000};

void SetTime(const std::string& path, timespec t) {
  const timespec times[2] = {t, t};
  ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, 0)) << path;
}

class UpdpackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/updpack-test-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }

  // Starts updpack in the test's folder (output discarded) and kills it
  // with SIGKILL after `milliseconds`, if it is still running then.
  void KillAfter(const std::vector<std::string>& args, int milliseconds) {
    std::vector<std::string> all = {UPDPACK_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, root_.c_str());
    pid_t pid;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(0, spawned);
    usleep(useconds_t(milliseconds) * 1000);
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
  }

  // Runs updpack in the test's folder with standard output and error caught.
  Result Updpack(const std::vector<std::string>& args) {
    std::vector<std::string> all = {UPDPACK_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    const std::string out = Path(".out"), err = Path(".err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, root_.c_str());
    Result r;
    pid_t pid;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(0, spawned);
    int status = 0;
    if (spawned == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
      r.status = WEXITSTATUS(status);
    }
    r.out = ReadText(out);
    r.err = ReadText(err);
    fs::remove(out);
    fs::remove(err);
    return r;
  }

  // Every name in a folder, for checking that nothing else was left there.
  std::vector<std::string> Names(const std::string& folder) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Path(folder))) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  ArchiveListing List(const std::string& archive) {
    const Bytes image = ReadBytes(Path(archive));
    ArchiveListing listing;
    std::string error;
    EXPECT_TRUE(ReadArchiveListing(ArchiveImage(image), &listing, &error)) << error;
    return listing;
  }

  // A small game folder: Japanese names, nested folders, text that
  // compresses and bytes that do not.
  void MakeGame(const std::string& folder) {
    std::mt19937 rng(1);
    std::string noise(5000, '\0');
    for (char& c : noise) c = char(rng());
    std::string text;
    for (int i = 0; i < 400; ++i)
      text += "スターの旅 version 1.02 line " + std::to_string(i % 7) + "\r\n";
    files_ = {{folder + "/UPDATE.INI", "[SETUP]\r\nCompanyName=Star\r\n"},
              {folder + "/説明書.txt", text},
              {folder + "/data/データ.bin", text + noise},
              {folder + "/data/音声/ｶﾅ.ogg", noise},
              {folder + "/data/empty.dat", ""}};
    for (const auto& f : files_) {
      WriteBytes(Path(f.first), f.second);
      SetTime(Path(f.first), kTime);
    }
  }

  std::string root_;
  std::vector<std::pair<std::string, std::string>> files_;
};

}  // namespace
