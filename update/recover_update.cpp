#include "update/recover_update.h"

#include "core/system_functions.h"
#include "core/updater_state.h"
#include "update/update_journal.h"
#include "update/update_plan.h"

namespace {
UpdatePlan plan;
}  // namespace

void RecoverInterruptedUpdate() {
  const SystemFunctionTable& sys = systemFunctions;
  char path[kPathSize];
  JournalPath(path);
  const win::Dword attributes = sys.GetFileAttributesA(path);
  if (attributes == win::kInvalidFileAttributes || (attributes & win::kAttributeDirectory)) return;
  if (attributes & win::kAttributeReadonly) sys.SetFileAttributesA(path, win::kAttributeNormal);
  // Without sharing: fails while another updater works with the journal.
  win::Handle journal = sys.CreateFileA(path, win::kGenericRead, 0, nullptr, win::kOpenExisting,
                                        win::kAttributeNormal, nullptr);
  if (journal == win::InvalidHandle()) return;
  bool done = ReadJournal(journal, &plan) && (plan.replaced ? FinishPlan(plan) : UndoPlan(plan));
  if (done) {
    DeleteJournal(journal);
  } else {
    sys.CloseHandle(journal);
  }
}
