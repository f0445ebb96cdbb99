#include "update/apply_update_items.h"

#include <cstring>

#include "core/join_path.h"
#include "core/platform.h"
#include "core/show_error.h"
#include "core/system_functions.h"
#include "core/text_format.h"
#include "core/updater_state.h"
#include "texts.h"
#include "update/contained_path.h"
#include "update/stage_update_items.h"
#include "update/update_journal.h"
#include "update/update_plan.h"

namespace {

UpdatePlan plan;

// Gives the file at `path` `time` as its creation, last-access and last-write
// time. The replace can give a file the creation time of the name's former
// owner, so all three are set after it.
bool SetAllTimes(const char* path, const win::FileTime& time) {
  win::Handle file = systemFunctions.CreateFileA(path, win::kFileWriteAttributes, 0, nullptr,
                                                 win::kOpenExisting, win::kAttributeNormal, nullptr);
  if (file == win::InvalidHandle()) return false;
  bool set = platform.SetFileTime(file, &time, &time, &time) != 0;
  systemFunctions.CloseHandle(file);
  return set;
}

// True when no later staged file goes into the folder of target `index`.
bool LastInItsFolder(int index) {
  char folder[kPathSize];
  char other[kPathSize];
  const char* target = plan.targets[index].target;
  CopyText(folder, size_t(FileNameOffset(target)) + 1, target);
  for (int i = index + 1; i < plan.targetCount; ++i) {
    const TargetRecord& r = plan.targets[i];
    if (r.staged[0] == '\0') continue;
    CopyText(other, size_t(FileNameOffset(r.target)) + 1, r.target);
    if (platform.lstrcmpiA(folder, other) == 0) return false;
  }
  return true;
}

// The second phase: each old file moves to its kept name and the staged
// file takes its place. The last rename into each folder is written
// through, which puts the earlier ones of that folder on the disk too. The
// journal records the end.
bool ReplaceTargets(win::Handle journal) {
  if (!FlushStagedFiles(journal, plan)) return false;
  for (int i = 0; i < plan.targetCount; ++i) {
    const TargetRecord& r = plan.targets[i];
    if (r.staged[0] == '\0') continue;
    // A link made inside the game's folders while the run staged stops it.
    if (!IsInGameFolders(r.target)) return false;
    if (r.attributes != win::kInvalidFileAttributes &&
        !platform.MoveFileExA(r.target, r.kept, 0)) {
      return false;
    }
    const win::Dword through = LastInItsFolder(i) ? win::kMoveFileWriteThrough : 0;
    if (!platform.MoveFileExA(r.staged, r.target, through)) return false;
    if (r.hasNewTime && !SetAllTimes(r.target, r.newTime)) return false;
  }
  plan.replaced = true;
  return JournalReplaced(journal);
}

// Ends the run's journal: after a replace the kept files go, after a
// failure every target is put back. A step that fails is tried once more;
// when it fails again the journal stays for the next start to finish.
void EndRun(win::Handle journal, bool replaced) {
  bool done = replaced ? FinishPlan(plan) || FinishPlan(plan) : UndoPlan(plan) || UndoPlan(plan);
  if (done) {
    DeleteJournal(journal);
  } else {
    systemFunctions.CloseHandle(journal);
  }
}

}  // namespace

bool ApplyUpdateItems(bool overwriteOnly) {
  if (updaterState.updateItemCount == 0) return true;
  std::memset(&plan, 0, sizeof plan);
  // The failure's messages wait until the installation is whole again.
  HoldErrors();
  win::Handle journal = CreateJournal();
  bool replaced = journal != win::InvalidHandle() &&
                  StageUpdateItems(overwriteOnly, journal, &plan) && ReplaceTargets(journal);
  if (journal != win::InvalidHandle()) EndRun(journal, replaced);
  ShowHeldErrors();
  if (!replaced) ShowError(kMsgWriteFailed);
  return replaced;
}
