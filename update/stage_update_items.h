#pragma once

#include "core/updater_state.h"
#include "core/win_types.h"
#include "update/copy_from_disc.h"
#include "update/update_plan.h"

// The first phase of writing the update items: decides each item in list
// order as a direct write would (the "o", overwrite-only, "d" and "u" rules,
// the free-space check and the read-only reset) and writes the new content
// of each target into a file beside it; then copies each file among the
// copy items from its disc beside its destination. The installed files
// stay as they are; every step is recorded in `plan` and, before it is
// made, in the journal. False when an item cannot be staged (its messages
// are shown through ShowError); `reported` is set when the player
// cancelled at a disc prompt or a copy failed with its own message.
bool StageUpdateItems(const UpdateItem* items, int count, CopyWalk& walk, bool overwriteOnly,
                      win::Handle journal, UpdatePlan* plan, bool* reported);

// Puts every staged file on the disk and records what it holds (W), then
// commits the run (C): from here a killed run is finished, not undone.
bool CommitStagedFiles(win::Handle journal, UpdatePlan* plan);
