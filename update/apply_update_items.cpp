#include "update/apply_update_items.h"

#include <cstring>

#include "core/show_error.h"
#include "core/updater_state.h"
#include "texts.h"
#include "update/copied_folders.h"
#include "update/end_journaled_run.h"
#include "update/recover_update.h"
#include "update/stage_update_items.h"
#include "update/update_journal.h"
#include "update/update_plan.h"

namespace {

UpdatePlan plan;

// The second phase, once the run is committed: each old file moves to its
// name in `oldFileName` and the staged file takes its place; then the
// copied folders are merged (from here the run is only ever finished).
bool ReplaceTargets(win::Handle journal) {
  plan.placed = CommitStagedFiles(journal, &plan) && PlaceStagedFiles(plan, false);
  plan.merged = plan.placed && MergeCopiedFolders(plan);
  return plan.merged;
}

}  // namespace

bool ApplyUpdateItems(const UpdateItem* items, int count, CopyWalk& walk, bool overwriteOnly) {
  if (count == 0 && walk.copies().count == 0) return true;
  std::memset(&plan, 0, sizeof plan);
  // The failure's messages wait until the installation is whole again.
  HoldErrors();
  // A run killed earlier that could not be ended at start-up (a file the
  // game held then) is ended now, before a new journal can be made.
  bool reported = false;  // a cancel at a disc prompt, or a failed copy's own message
  win::Handle journal = RecoverInterruptedUpdate() ? CreateJournal() : win::InvalidHandle();
  bool replaced = journal != win::InvalidHandle() &&
                  StageUpdateItems(items, count, walk, overwriteOnly, journal, &plan, &reported) &&
                  ReplaceTargets(journal);
  // A run that fails once it tried to commit, before every staged file is
  // in its place, gives up: it is put back.
  if (!replaced && plan.committed && !plan.placed) {
    plan.undone = true;
    JournalUndone(journal);
  }
  if (journal != win::InvalidHandle()) EndJournaledRun(journal, plan);
  ShowHeldErrors();
  if (!replaced && !reported) ShowError(kMsgWriteFailed);
  return replaced;
}
