// What an update run does to the installation, target by target, so that it
// can be undone or finished: kept in memory by the run and written ahead of
// each step to the journal (update_journal.h), from which the next start
// rebuilds it after the run was killed.
#pragma once

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
  char kept[kPathSize];
  // The time the new file takes (not kept in the journal).
  bool hasNewTime;
  win::FileTime newTime;
};

constexpr int kMaxPlanFolders = 2;

struct UpdatePlan {
  TargetRecord targets[kMaxUpdateLines];
  int targetCount;
  // Folders that the run found missing and made (or tried to: `folderMade`
  // is false then; a journal read back counts every one as made, and only
  // an empty folder can be removed).
  char folders[kMaxPlanFolders][kPathSize];
  bool folderMade[kMaxPlanFolders];
  int folderCount;
  bool replaced;  // every target was replaced: only the kept files remain to go
};

// Puts every target back as it was and removes what the run made (staged
// files, new files, created folders). Each step can be repeated. False when a
// step failed.
bool UndoPlan(const UpdatePlan& plan);

// After every target was replaced: removes the kept old files. False when
// one could not be removed.
bool FinishPlan(const UpdatePlan& plan);
