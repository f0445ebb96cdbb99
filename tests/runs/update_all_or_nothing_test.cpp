// An update applies whole or not at all. A failure placed at every call of
// every platform function that can fail in a whole run, and a crash at every such call
// followed by a new start, must each leave the installation all old or all
// new with nothing else in its folders; a failed run shows the messages of
// its failure and ends with 0, a finished one shows none and ends with 1.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "core/text_format.h"
#include "tests/runs/whole_update.h"
#include "tests/support/fault_injector.h"
#include "tests/support/sweep_stride.h"
#include "texts.h"

namespace whole_update {
namespace {

// The message sequences that a failed run may end with, after the failure.
std::vector<std::vector<std::string>> FailureMessages() {
  char notInstalled[256];
  FormatText(notInstalled, sizeof notInstalled, kMsgNotInstalled, Sjis("星の旅路").c_str());
  return {
      {},  // UPDATE.INI could not be extracted: no message
      {kMsgCouldNotMapFunctions},
      {kMsgResourceReadError},
      {kMsgCantAllocate},
      {notInstalled},
      {kMsgSetupIniMissing},
      {kMsgUpdateInterrupted},
      {kMsgExistError, kMsgUpdateInterrupted},
      {kMsgWriteFailed, kMsgUpdateInterrupted},
      {kMsgCantAllocate, kMsgWriteFailed, kMsgUpdateInterrupted},
  };
}

std::vector<std::string> Texts() {
  std::vector<std::string> texts;
  for (const RecordedMessageBox& m : UpdaterTest::messages) texts.push_back(m.text);
  return texts;
}

bool KnownFailure(const std::vector<std::string>& texts) {
  for (const auto& expected : FailureMessages()) {
    if (texts == expected) return true;
  }
  return false;
}

// The wizard's own calls: one that fails after the update is complete (the
// "完了" button not found or the dialog not ended) leaves the update whole
// and the wizard open until the player cancels it.
bool IsWizardCall(const std::string& entry) {
  for (const char* name : {"EndDialog", "GetDlgItem", "SetFocus", "SetDlgItemTextA",
                           "SetWindowTextA", "LoadCursorA"}) {
    if (entry == name) return true;
  }
  return false;
}

class AllOrNothing : public WholeUpdateTest {
 protected:
  // Empty when the installation is all old or all new; else what it is.
  std::string Mixed() const {
    Tree now = Installation();
    if (now == old_ || now == new_) return "";
    return "installation:\n" + Describe(now) + "old:\n" + Describe(old_) + "new:\n" +
           Describe(new_);
  }

  // The run's outcome as it must be: a finished run is all new without a
  // message, a failed one all old with its failure's messages.
  std::string CheckOutcome(int exitCode, const std::string& failing) const {
    Tree now = Installation();
    std::vector<std::string> texts = Texts();
    if (exitCode == 1 && now == new_ && texts.empty()) return "";
    if (exitCode == 0 && now == old_ && KnownFailure(texts)) return "";
    if (exitCode == 0 && now == new_ && IsWizardCall(failing) &&
        texts == std::vector<std::string>{kMsgUpdateInterrupted}) {
      return "";
    }
    std::string report = "exit " + std::to_string(exitCode) + ", messages:";
    for (const std::string& t : texts) report += " [" + t + "]";
    return report + "\n" + (now == new_ ? "all new" : now == old_ ? "all old" : Mixed());
  }

  // The calls of a clean run, one point per call.
  std::vector<std::pair<std::string, int>> Points(FaultInjector& injector) {
    injector.Reset();
    EXPECT_EQ(1, Run());
    std::vector<std::pair<std::string, int>> points;
    for (const std::string& entry : FaultInjector::AllEntries()) {
      for (int n = 1; n <= injector.Calls(entry); ++n) points.push_back({entry, n});
    }
    InstallOld();
    return points;
  }
};

TEST_F(AllOrNothing, AFailureAtAnyFileCallLeavesTheInstallationAllOldOrAllNew) {
  FaultInjector injector;
  const auto points = Points(injector);
  int tried = 0, failedRuns = 0, finishedRuns = 0, wrong = 0;
  for (const auto& [entry, n] : points) {
    InstallOld();
    injector.Reset();
    injector.FailAt(entry, n);
    const int exitCode = Run();
    ++tried;
    (exitCode == 1 ? finishedRuns : failedRuns) += 1;
    std::string problem = CheckOutcome(exitCode, entry);
    if (!problem.empty()) {
      ++wrong;
      ADD_FAILURE() << entry << " call " << n << " failing: " << problem;
    }
  }
  std::string perEntry;
  for (const std::string& entry : FaultInjector::AllEntries()) {
    int calls = 0;
    for (const auto& point : points) calls += point.first == entry ? 1 : 0;
    if (calls > 0) perEntry += " " + entry + " " + std::to_string(calls);
  }
  std::printf(
      "fault sweep: %d failure points tried (%d runs failed, %d finished), "
      "%d left a mixed installation, a stray file or other messages\n"
      "  calls of a clean run:%s\n",
      tried, failedRuns, finishedRuns, wrong, perEntry.c_str());
  EXPECT_GT(tried, 50);
  EXPECT_GT(failedRuns, 0);
  EXPECT_EQ(0, wrong);
}

TEST_F(AllOrNothing, AFileFunctionThatFailsFromThenOnIsPutRightByTheNextStart) {
  FaultInjector injector;
  const auto points = Points(injector);
  int tried = 0, wrong = 0;
  for (const auto& [entry, n] : points) {
    InstallOld();
    injector.Reset();
    injector.FailAt(entry, n, /*lasting=*/true);
    Run();
    injector.Reset();  // the fault has gone; the next start cancels the wizard
    const int exitCode = Run({"cancel"});
    ++tried;
    std::string mixed = Mixed();
    if (!mixed.empty() || exitCode != 0) {
      ++wrong;
      ADD_FAILURE() << entry << " failing from call " << n << " on, exit " << exitCode << "\n"
                    << mixed;
    }
  }
  std::printf(
      "lasting faults: %d failure points tried, %d left a mixed installation or a "
      "stray file after the next start\n",
      tried, wrong);
  EXPECT_EQ(0, wrong);
}

class CrashedRun : public AllOrNothing {
 protected:
  // Runs the updater in a child process that ends at its `crashAt`-th file
  // call (never with 0); the child's exit status, 99 when it was ended
  // there. `calls` receives how many file calls the child made.
  int RunInChild(int crashAt, const std::vector<std::string>& presses, int* calls = nullptr) {
    int pipeEnds[2];
    EXPECT_EQ(0, pipe(pipeEnds));
    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
      close(pipeEnds[0]);
      int seen = 0;
      const auto& files = FaultInjector::FileEntries();
      FaultInjector injector;
      injector.Observe([&](const std::string& entry, int) {
        if (std::find(files.begin(), files.end(), entry) == files.end()) return;
        if (++seen == crashAt) _exit(99);
        // The count so far, for the parent (a write of 4 bytes is whole).
        (void)!write(pipeEnds[1], &seen, sizeof seen);
      });
      _exit(Run(presses));
    }
    close(pipeEnds[1]);
    int seen = 0;
    for (int n; read(pipeEnds[0], &n, sizeof n) == sizeof n;) seen = n;
    close(pipeEnds[0]);
    if (calls != nullptr) *calls = seen;
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The drive's folder saved and put back whole (contents, times, modes).
  void SaveDrive() {
    ASSERT_EQ(0,
              std::system(("rm -rf " + Saved() + " && cp -a " + DriveC() + " " + Saved()).c_str()));
  }
  void RestoreDrive() {
    ASSERT_EQ(
        0, std::system(("rm -rf " + DriveC() + " && cp -a " + Saved() + " " + DriveC()).c_str()));
  }
  std::string Saved() const { return DriveC() + ".saved"; }
  void TearDown() override {
    std::system(("rm -rf " + Saved()).c_str());
    AllOrNothing::TearDown();
  }
};

// A run ended at each of its file calls; then the next start is ended at
// points spread over all of its own file calls (its recovery included), each
// from the same disk, and a last start must leave the installation all old
// or all new with nothing of the run left.
TEST_F(CrashedRun, ARunEndedAtAnyFileCallIsFinishedOrUndoneByTheNextStart) {
  int totalCalls = 0;
  {
    FaultInjector injector;
    for (const auto& point : Points(injector)) {
      const auto& files = FaultInjector::FileEntries();
      totalCalls += std::count(files.begin(), files.end(), point.first) > 0 ? 1 : 0;
    }
  }
  constexpr int kRecoveryCrashes = 8;
  int tried = 0, recoveryCrashes = 0, wrong = 0;
  for (int crashAt = 1; crashAt <= totalCalls; crashAt += kSweepStride) {
    InstallOld();
    ASSERT_EQ(99, RunInChild(crashAt, {"next", "next", "next"}));
    ++tried;
    SaveDrive();
    int startCalls = 0;
    RunInChild(0, {"cancel"}, &startCalls);
    for (int k = 1; k <= kRecoveryCrashes; ++k) {
      RestoreDrive();
      // Spread over the start's calls, the last one included.
      const int at = std::max(1, startCalls * k / kRecoveryCrashes);
      if (RunInChild(at, {"cancel"}) == 99) ++recoveryCrashes;
      const int exitCode = Run({"cancel"});
      std::string mixed = Mixed();
      std::vector<std::string> expected = {kMsgUpdateInterrupted};
      if (!mixed.empty() || exitCode != 0 || Texts() != expected) {
        ++wrong;
        ADD_FAILURE() << "ended at file call " << crashAt << ", its next start at call " << at
                      << " of " << startCalls << ", exit " << exitCode << "\n"
                      << mixed;
      }
    }
  }
  std::printf(
      "crash simulation: %d crash points tried, each with %d crashes spread over the "
      "next start (%d made), %d left a mixed installation or a stray file\n",
      tried, kRecoveryCrashes, recoveryCrashes, wrong);
  EXPECT_GT(tried * kSweepStride, 50);
  EXPECT_EQ(0, wrong);
}

}  // namespace
}  // namespace whole_update
