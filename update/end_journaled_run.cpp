#include "update/end_journaled_run.h"

#include "core/file_helpers.h"
#include "update/copied_folders.h"
#include "update/update_journal.h"

namespace {

bool CarryOut(const UpdatePlan& plan) {
  return FinishesForward(plan) ? FinishPlan(plan) : UndoPlan(plan);
}

}  // namespace

bool EndJournaledRun(win::Handle journal, const UpdatePlan& plan) {
  if (!CarryOut(plan) && !CarryOut(plan)) {
    CloseFile(journal);
    return false;
  }
  // What is left over either way; what stays does the game no harm.
  if (!RemoveCopyFolder(plan)) RemoveCopyFolder(plan);
  if (!FinishesForward(plan) && !RemoveMadeFolders(plan)) RemoveMadeFolders(plan);
  DeleteJournal(journal);
  return true;
}
