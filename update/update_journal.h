// The update run's journal: "~UPD.JNL" in the install folder, from which the
// next start of an updater finishes or undoes a run that was killed or lost
// its power. While a run or a recovery works, it holds the journal open
// without sharing.
//
// Format. Text, code page 932, one record a line: the record, a tab, the
// FNV-1a checksum of the record (8 lowercase hex digits), CR LF. The first
// line is the header "UPDJ <version>".
//
//   F <path>                          a folder that the run makes
//   T <n> <attr> <known> <c> <a> <w> <path>
//                                     target n (0-31, in order) before the
//                                     run touched it: attributes (8 hex
//                                     digits; ffffffff: no file), whether
//                                     its times were read (0/1), its
//                                     creation, access and write times (16
//                                     hex digits each)
//   S <n> <path>                      the file staged beside target n
//   K <n> <path>                      the name target n's old file moves to
//   W <n> <all> <size> <write> ...    what the run wrote to the staged file
//                                     of target n: whether all three times
//                                     are set to <write> after the replace
//                                     (0/1), its size and last-write time
//                                     (16 hex digits each)
//   G <path>                          the run's copy folder, which the
//                                     folders copied from the disc go into
//   M <path>                          a folder copied into the copy folder,
//                                     merged into the install folder after
//                                     the replace
//   C                                 committed: every staged file is whole
//                                     and on the disk; the run is finished
//                                     from here on
//   U                                 the run gave up after it tried to
//                                     write C: every target is put back
//                                     (C may or may not have reached the
//                                     disk before it)
//
// Invariants that the run (apply_update_items.cpp, stage_update_items.cpp)
// and recovery (recover_update.cpp) keep:
//   1. Records go to the disk in groups, each group in one write that is
//      flushed before the step that needs any of its records and before the
//      next group is written: so only the last group can be cut short or
//      damaged by a crash or a power cut, and only at its end. A damaged
//      line with a sound line after it is damage of another kind; such a
//      journal is never acted on. F, S, G, C and U end a group (their steps
//      follow at once); T, K, W and M wait for the next (their steps come
//      after S, or after C), and FlushJournal ends one by hand.
//   2. No target is renamed and no folder merged before C is on the disk,
//      and C is written only after every staged file (and every file of the
//      copy folder) and its W record are flushed.
//   3. Without C, or with U, recovery undoes the run: the old
//      files are moved back, staged and new files removed, attributes and
//      times restored, folders that the run made removed when empty.
//      With C and no U it finishes the run: each staged file takes its
//      target's place, the copied folders are merged, the old files and the
//      copy folder go. A merge cannot be undone: once one may have begun,
//      the run is only ever finished (no U).
//   4. A file that is neither what the run found (T's write time) nor what
//      it wrote (W) belongs to the player, who changed it after the run: it
//      is never overwritten, moved or removed. Only the run's own staged
//      and old files around it are removed.
//   5. Every step of recovery can be repeated and is repeated until it
//      holds: a start killed during recovery is finished by the next one.
//      What cannot be undone without harm (a folder that now holds other
//      files) is left as it is and is no failure.
//   6. The journal is deleted last, once the run is whole; a journal that is
//      not acted on (unreadable, too large, damaged in its middle, of
//      another version, or naming anything outside the game's folders) is
//      moved aside to "~UPD.BAD", so no journal blocks every later run.
//
// Version rule: the header's version changes whenever a record changes its
// meaning. A reader acts only on its own version; any other is set aside
// (invariant 6), never half understood.
#pragma once

#include "core/win_types.h"
#include "update/update_plan.h"

// "<instPath>\~UPD.JNL" (it fits: the install folder takes "SETUP.INI").
void JournalPath(char* path);

// Creates a new journal with its header; InvalidHandle when one exists or it
// cannot be written (nothing is left behind then).
win::Handle CreateJournal();

// Records, grouped and flushed as invariant 1 says; false when a write or a
// flush failed.
bool JournalFolder(win::Handle journal, const char* folder);
bool JournalTarget(win::Handle journal, int index, const TargetRecord& record);
bool JournalStaged(win::Handle journal, int index, const char* staged);
bool JournalOldFileName(win::Handle journal, int index, const char* oldFileName);
bool JournalWritten(win::Handle journal, int index, const TargetRecord& record);
bool JournalCopyFolder(win::Handle journal, const char* folder);
bool JournalCopiedFolder(win::Handle journal, const char* folder);
bool JournalCommitted(win::Handle journal);
bool JournalUndone(win::Handle journal);
// Writes and flushes the records that wait, before a step that needs them.
bool FlushJournal(win::Handle journal);

// Closes the journal and deletes it (tried twice). False when it stays.
bool DeleteJournal(win::Handle journal);

enum class JournalReading {
  kRead,     // the plan holds every record, up to a last one cut short
  kNotOurs,  // not to be acted on: too large, of another version, a record
             // that makes no sense, or a damaged line with a sound one after
  kFailed,   // a call failed: to be tried again
};

// Rebuilds the plan from an open journal (invariant 1: only its last record
// can be cut short or damaged by a crash).
JournalReading ReadJournal(win::Handle journal, UpdatePlan* plan);
