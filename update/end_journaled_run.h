// The one way a journaled run ends, in the run itself and in the recovery
// of a killed one: finished or undone as its plan says (update_journal.h,
// invariants 3 to 6), then the journal deleted.
#pragma once

#include "core/win_types.h"
#include "update/update_plan.h"

// Finishes the plan when it is committed (and not given up), else undoes it
// and removes the folders it made; the copy folder goes either way. Each is
// tried twice; a folder that stays (it holds other files now) is no
// failure. The journal is then closed and
// deleted. False, with the journal closed and left for the next start, when
// a file step failed twice.
bool EndJournaledRun(win::Handle journal, const UpdatePlan& plan);
