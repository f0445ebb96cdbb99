// A power cut at any file call of a whole update run, and again while the
// next start recovers, must leave the installation all old or all new with
// nothing of the run left, once a start has recovered. The cut loses what
// the disk had not made durable (tests/support/power_cut.h); each is
// replayed by its seed and call.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "tests/runs/whole_update.h"
#include "tests/support/fault_injector.h"
#include "tests/support/power_cut.h"
#include "tests/support/sweep_stride.h"

namespace whole_update {
namespace {

constexpr uint32_t kSeeds = 3;
// The starts that recover are cut this many file calls further on each.
constexpr int kRecoveryStride = 6;
// More file calls than any start makes.
constexpr int kMaxCalls = 1000;

constexpr int kCut = 99;        // the child's power was cut
constexpr int kCutFailed = 98;  // the simulator saw a change around the tables

bool IsFileEntry(const std::string& entry) {
  const auto& files = FaultInjector::FileEntries();
  return std::find(files.begin(), files.end(), entry) != files.end();
}

class PowerCutSweep : public WholeUpdateTest {
 protected:
  // The old installation, and a temp folder without the files that cut
  // starts left there, so that every start makes the calls of the first.
  void InstallOldAndEmptyTemp() {
    InstallOld();
    const std::string command = "rm -rf '" + DriveC() + "/tmp' && mkdir '" + DriveC() + "/tmp'";
    ASSERT_EQ(0, std::system(command.c_str()));
  }

  // Starts the updater with `presses` in a child process whose power is cut
  // at its `cutAt`-th file call; the child's exit status: kCut when the
  // power was cut, kCutFailed when the simulator could not cut it (it says
  // why), else the updater's exit code.
  int RunWithPowerCut(int cutAt, uint32_t seed, const std::vector<std::string>& presses) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
      PowerCut power(seed);
      FaultInjector injector;
      int calls = 0;
      injector.Observe([&](const std::string& entry, int) {
        if (!IsFileEntry(entry) || ++calls != cutAt) return;
        const std::string problem = power.CutPower();
        if (!problem.empty()) {
          std::fprintf(stderr, "%s", problem.c_str());
          _exit(kCutFailed);
        }
        _exit(kCut);
      });
      _exit(Run(presses));
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The file calls of a start with `presses` from the installation as it is.
  int FileCalls(const std::vector<std::string>& presses) {
    FaultInjector injector;
    Run(presses);
    int calls = 0;
    for (const std::string& entry : FaultInjector::FileEntries()) calls += injector.Calls(entry);
    return calls;
  }

  // What is wrong with the installation now: mixed, when its files are
  // neither the old ones nor the new ones (not counting files that neither
  // has) or a folder of the version they are is missing, and what is left
  // over beside that version.
  struct Outcome {
    bool mixed = false;
    std::vector<std::string> leftOver;
  };
  Outcome Check() const {
    const Tree now = Installation();
    const Tree known = Files(now, [&](const std::string& path) {
      return old_.count(path) != 0 || new_.count(path) != 0;
    });
    const auto any = [](const std::string&) { return true; };
    const Tree* version = known == Files(old_, any)   ? &old_
                          : known == Files(new_, any) ? &new_
                                                      : nullptr;
    Outcome outcome;
    outcome.mixed = version == nullptr;
    if (version != nullptr) {
      for (const auto& entry : *version) {
        if (entry.first.back() == '/' && now.count(entry.first) == 0) outcome.mixed = true;
      }
    }
    for (const auto& entry : now) {
      const std::string& path = entry.first;
      const bool expected = version != nullptr ? version->count(path) != 0
                                               : old_.count(path) != 0 || new_.count(path) != 0;
      if (!expected) outcome.leftOver.push_back(path);
    }
    return outcome;
  }

  // The files of `tree` (not its folders) whose paths pass `keep`.
  template <typename Keep>
  static Tree Files(const Tree& tree, Keep keep) {
    Tree files;
    for (const auto& [path, state] : tree) {
      if (path.back() != '/' && keep(path)) files[path] = state;
    }
    return files;
  }
};

TEST_F(PowerCutSweep, APowerCutAtAnyFileCallIsUndoneOrFinishedByTheNextStart) {
  const int runCalls = FileCalls({"next", "next", "next"});
  ASSERT_GT(runCalls, 50);

  int points = 0, recoveryCuts = 0, mixed = 0, leftOver = 0, detailed = 0;
  for (int cutAt = 1; cutAt <= runCalls; cutAt += kSweepStride) {
    ++points;
    for (uint32_t seed = 1; seed <= kSeeds; ++seed) {
      InstallOldAndEmptyTemp();
      std::string where =
          "cut at file call " + std::to_string(cutAt) + " of the run, seed " + std::to_string(seed);
      ASSERT_EQ(kCut, RunWithPowerCut(cutAt, seed, {"next", "next", "next"})) << where;
      // The starts that recover, each cut further on among its calls than
      // the one before, until one comes to its end. Where the first is cut
      // moves with the point, so that the sweep cuts at every call of a
      // recovery.
      std::string recovery;
      for (int at = 1 + (cutAt + int(seed)) % kRecoveryStride;; at += kRecoveryStride) {
        ASSERT_LT(at, kMaxCalls) << where;
        const int status = RunWithPowerCut(at, seed, {"cancel"});
        if (status != kCut) {
          ASSERT_EQ(0, status) << where << "; next start cut at call " << at;
          break;
        }
        recovery += " " + std::to_string(at);
        ++recoveryCuts;
      }
      if (!recovery.empty()) where += "; next starts cut at calls" + recovery;
      Run({"cancel"});
      const Outcome outcome = Check();
      mixed += outcome.mixed ? 1 : 0;
      leftOver += outcome.leftOver.empty() ? 0 : 1;
      if (!outcome.mixed && outcome.leftOver.empty()) continue;
      std::string report = where + ":" + (outcome.mixed ? " mixed" : "");
      for (const std::string& path : outcome.leftOver) report += " left " + path;
      if (outcome.mixed && detailed++ < 3) report += "\n" + Describe(Installation());
      ADD_FAILURE() << report;
    }
  }
  std::printf(
      "power-cut sweep: %d crash points x %u seeds tried, %d mixed, %d left over\n"
      "  (and %d cuts while a next start recovered)\n",
      points, kSeeds, mixed, leftOver, recoveryCuts);
  EXPECT_EQ(0, mixed);
  EXPECT_EQ(0, leftOver);
}

}  // namespace
}  // namespace whole_update
