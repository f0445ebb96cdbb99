#include "update/recover_update.h"

#include <cstring>

#include "core/file_helpers.h"
#include "core/join_path.h"
#include "core/system_functions.h"
#include "core/text_format.h"
#include "core/updater_state.h"
#include "update/contained_path.h"
#include "update/end_journaled_run.h"
#include "update/run_file_names.h"
#include "update/update_journal.h"
#include "update/update_plan.h"

namespace {

UpdatePlan plan;

const char kSetAsideName[] = "~UPD.BAD";

// An empty name (nothing staged, or no old file) or one of the run's own names
// beside the target.
bool IsRunFileOf(const char* target, const char* name) {
  return name[0] == '\0' || (IsRunFileName(target, name) && IsInGameFolders(name));
}

// The journal names only what a run of this game can have touched: targets
// and folders in the game's folders, staged and old files under the run's
// own names beside their targets, none reached through a link. Anything
// else is not a journal of ours and is never acted on.
bool PlanStaysInGameFolders(const UpdatePlan& p) {
  for (int i = 0; i < p.targetCount; ++i) {
    const TargetRecord& r = p.targets[i];
    if (!IsInGameFolders(r.target) || !IsRunFileOf(r.target, r.staged) ||
        !IsRunFileOf(r.target, r.oldFileName)) {
      return false;
    }
  }
  for (int i = 0; i < p.folderCount; ++i) {
    if (!IsInGameFolders(p.folders[i])) return false;
  }
  // The copy folder is of the run's naming, each copied folder one name
  // inside it.
  if (p.copyFolder[0] != '\0' &&
      (!IsRunFileName(p.copyFolder, p.copyFolder) || !IsInGameFolders(p.copyFolder))) {
    return false;
  }
  const size_t folderLength = std::strlen(p.copyFolder);
  for (int i = 0; i < p.copiedFolderCount; ++i) {
    const char* copied = p.copiedFolders[i];
    if (std::strncmp(copied, p.copyFolder, folderLength) != 0 || copied[folderLength] != '\\' ||
        !IsContainedRelativePath(copied + folderLength + 1) ||
        FileNameOffset(copied) != int(folderLength) + 1 || !IsInGameFolders(copied)) {
      return false;
    }
  }
  return true;
}

// Moves a journal that is not acted on out of the way, over one set aside
// before, or deletes it, so that the next run can make its own. True when
// its place is free.
bool SetAside(const char* path) {
  char aside[kPathSize];
  CopyText(aside, sizeof aside, updaterState.instPath);
  if (JoinPath(aside, sizeof aside, kSetAsideName) &&
      RenameFile(path, aside, win::kMoveFileReplaceExisting)) {
    return true;
  }
  return RemoveFile(path) || RemoveFolder(path);
}

}  // namespace

bool RecoverInterruptedUpdate() {
  char path[kPathSize];
  JournalPath(path);
  const win::Dword attributes = AttributesOf(path);
  if (attributes == win::kInvalidFileAttributes) return true;
  // A folder or a link in the journal's place is not a journal of ours:
  // nothing is read through it.
  if (attributes & (win::kAttributeDirectory | win::kAttributeReparsePoint)) {
    return SetAside(path);
  }
  if (attributes & win::kAttributeReadonly) MakeWritable(path);
  // Without sharing: fails while another updater works with the journal.
  win::Handle journal = systemFunctions.CreateFileA(
      path, win::kGenericRead, 0, nullptr, win::kOpenExisting, win::kAttributeNormal, nullptr);
  if (journal == win::InvalidHandle()) return false;
  const JournalReading reading = ReadJournal(journal, &plan);
  if (reading != JournalReading::kRead || !PlanStaysInGameFolders(plan)) {
    CloseFile(journal);
    return reading != JournalReading::kFailed && SetAside(path);
  }
  return EndJournaledRun(journal, plan);
}
