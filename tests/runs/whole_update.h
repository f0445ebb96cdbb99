// A whole updater run over an installation on drive C: (C:\Games\Star, its
// data folder C:\Save), from start-up to the wizard's end, with the
// installation's files before and after the update known, so that a test can
// tell an installation that is all old or all new, with nothing else in its
// folders, from any other.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/test_platform.h"

namespace whole_update {

// A file of the installation: contents, last-write time and read-only state.
struct FileState {
  std::string content;
  uint64_t time;
  bool readOnly;
  bool operator==(const FileState& o) const {
    return content == o.content && time == o.time && readOnly == o.readOnly;
  }
};
// Every file and folder (ending in '/') under C:\Games\Star and C:\Save.
using Tree = std::map<std::string, FileState>;

class WholeUpdateTest : public UpdaterTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Puts the installation back to its state before any update.
  void InstallOld();
  Tree Installation() const;
  // Starts the updater with these wizard presses; its exit code.
  int Run(const std::vector<std::string>& presses = {"next", "next", "next"});

  // The installation before the update and after a clean one.
  Tree old_;
  Tree new_;

 private:
  win::Hmodule module_ = nullptr;
};

std::string Describe(const Tree& tree);

}  // namespace whole_update
