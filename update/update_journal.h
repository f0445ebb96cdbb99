// The update run's journal: "~UPD.JNL" in the install folder. Each step of
// the run that changes the installation is written to it before the step is
// made, so that the next start of an updater can undo or finish a run that
// was killed; it is flushed before a step that the disk could keep without
// its record (docs/update-run.md describes the format and the order).
// While a run or a recovery works, it holds the journal open without sharing.
#pragma once

#include "core/win_types.h"
#include "update/update_plan.h"

// "<instPath>\~UPD.JNL" (it fits: the install folder takes "SETUP.INI").
void JournalPath(char* path);

// Creates a new journal with its header; InvalidHandle when one exists or it
// cannot be written (nothing is left behind then).
win::Handle CreateJournal();

// Records, written (not flushed); false when that failed.
bool JournalFolder(win::Handle journal, const char* folder);
bool JournalTarget(win::Handle journal, int index, const TargetRecord& record);
bool JournalStaged(win::Handle journal, int index, const char* staged);
bool JournalKept(win::Handle journal, int index, const char* kept);
// The end of the replace, written and flushed.
bool JournalReplaced(win::Handle journal);
// Puts what was written on the disk.
bool FlushJournal(win::Handle journal);

// Closes the journal and deletes it (tried twice). False when it stays.
bool DeleteJournal(win::Handle journal);

// Rebuilds the plan from an open journal: its records up to the first that
// is cut short or damaged. False when the journal cannot be read.
bool ReadJournal(win::Handle journal, UpdatePlan* plan);
