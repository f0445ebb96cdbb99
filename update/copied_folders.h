// The folders copied from the disc, staged in the run's copy folder (one
// folder of the run's own naming in the install folder) and merged into the
// installation once every staged file is in its place: what the shell
// copied is flushed before the run commits, merged by the shell's copy
// (which replaces files without asking), and the copy folder then removed.
// A merge cannot be undone: it runs only after the commit, and a run whose
// merge failed is finished by the next start, never put back.
#pragma once

#include "update/update_plan.h"

// Flushes every file below the copy folder, so that no merge can copy
// content that a power cut would lose. True when there is none.
bool FlushCopyFolder(const UpdatePlan& plan);

// Merges each copied folder into the install folder, in order. It can be
// repeated: a copy folder that is gone was merged before it was removed.
bool MergeCopiedFolders(const UpdatePlan& plan);

// Removes the copy folder with everything in it (links are removed, never
// followed). True when it is gone; one that stays (a name that cannot be
// listed) does the game no harm.
bool RemoveCopyFolder(const UpdatePlan& plan);
