#include "update/end_journaled_run.h"

#include "core/system_functions.h"
#include "update/update_journal.h"

namespace {

bool CarryOut(const UpdatePlan& plan) {
  return FinishesForward(plan) ? FinishPlan(plan) : UndoPlan(plan);
}

}  // namespace

bool EndJournaledRun(win::Handle journal, const UpdatePlan& plan) {
  if (!CarryOut(plan) && !CarryOut(plan)) {
    systemFunctions.CloseHandle(journal);
    return false;
  }
  if (!FinishesForward(plan) && !RemoveMadeFolders(plan)) RemoveMadeFolders(plan);
  DeleteJournal(journal);
  return true;
}
