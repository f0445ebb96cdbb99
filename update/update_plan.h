// What an update run does to the installation, target by target, so that it
// can be undone or finished: kept in memory by the run and written ahead of
// each step to the journal (update_journal.h, whose invariants these
// functions keep), from which the next start rebuilds it after the run was
// killed.
#pragma once

#include <cstdint>

#include "core/updater_state.h"
#include "core/win_types.h"

struct TargetRecord {
  char target[kPathSize];
  // The target's attributes and times before the run touched it;
  // kInvalidFileAttributes when there was no file.
  win::Dword attributes;
  bool timesKnown;
  win::FileTime times[3];  // creation, last access, last write
  // The new content beside the target (empty: the target is not written),
  // and the name the old file moves to while the targets are replaced.
  char staged[kPathSize];
  char oldFileName[kPathSize];
  // What the staged file holds once written and flushed: its size and
  // last-write time, by which the run's file is told from the player's.
  bool written;
  uint64_t writtenSize;
  win::FileTime writtenTime;
  // Whether the new file takes `newTime` as all three times after the
  // replace (a name removed a moment before can lend it its creation time).
  bool hasNewTime;
  win::FileTime newTime;
};

constexpr int kMaxPlanFolders = 2;
// Every update item and every file copied from the disc.
constexpr int kMaxPlanTargets = kMaxUpdateLines + kMaxCopyLines;

struct UpdatePlan {
  TargetRecord targets[kMaxPlanTargets];
  int targetCount;
  // Folders that the run found missing and made (or tried to: `folderMade`
  // is false then; a journal read back counts every one as made, and only
  // an empty folder is removed).
  char folders[kMaxPlanFolders][kPathSize];
  bool folderMade[kMaxPlanFolders];
  int folderCount;
  // The run's copy folder (empty: none) and the folders copied from the
  // disc into it, merged into the install folder after the replace.
  char copyFolder[kPathSize];
  char copiedFolders[kMaxCopyLines][kPathSize];
  int copiedFolderCount;
  bool committed;  // every staged file whole on the disk: finish, not undo
  bool undone;     // the run gave up after committing: undo
  bool placed;     // every staged file in its place (known to the run only)
  bool merged;     // every copied folder merged (known to the run only)
};

// True when the run is to be finished rather than undone.
inline bool FinishesForward(const UpdatePlan& plan) { return plan.committed && !plan.undone; }

// Each of these can be repeated, and is false when a step failed; none
// touches a file that the player changed since the run left it.

// Puts every target back as it was (content, attributes, times) and removes
// the staged files and the new files that the run made.
bool UndoPlan(const UpdatePlan& plan);

// Removes the folders that the run made, when they are empty. False when
// one stays (it may hold the player's files now).
bool RemoveMadeFolders(const UpdatePlan& plan);

// Moves each old file to its name in `oldFileName` and the staged file into
// its place, with its new times. `afterCrash`: the files may have changed
// since the run left them (the player's are left); else the run places
// what it has just staged.
bool PlaceStagedFiles(const UpdatePlan& plan, bool afterCrash);

// The staged files placed after a crash (unless `placed`), the copied
// folders merged (unless `merged`), then the old files removed.
bool FinishPlan(const UpdatePlan& plan);
