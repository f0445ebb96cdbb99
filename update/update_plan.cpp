#include "update/update_plan.h"

#include "core/file_helpers.h"
#include "update/contained_path.h"
#include "update/copied_folders.h"

namespace {

// Whose a file at a target's name is, told by its size and last-write time.
enum class Owner {
  kNone,     // no file there
  kRun,      // what the run wrote (the W record)
  kOld,      // what the run found there (the T record's write time)
  kPlayer,   // neither: changed since, never touched by the run
  kUnknown,  // there, but it cannot be read now
};

Owner OwnerOf(const TargetRecord& r) {
  win::Handle file = OpenForReading(r.target);
  if (file == win::InvalidHandle()) {
    const win::Dword attributes = AttributesOf(r.target);
    if (attributes == win::kInvalidFileAttributes) return Owner::kNone;
    return (attributes & win::kAttributeDirectory) ? Owner::kPlayer : Owner::kUnknown;
  }
  uint64_t size = 0;
  win::FileTime lastWrite{};
  const bool read = ReadFileSize(file, &size) && ReadLastWriteTime(file, &lastWrite);
  CloseFile(file);
  if (!read) return Owner::kUnknown;
  const uint64_t time = win::ToUint64(lastWrite);
  if (r.written && size == r.writtenSize && time == win::ToUint64(r.writtenTime)) {
    return Owner::kRun;
  }
  // Where there was no file, any other is the player's. Without the old
  // times nothing tells the old file from a changed one: it is taken as the
  // old file.
  if (r.attributes == win::kInvalidFileAttributes) return Owner::kPlayer;
  if (!r.timesKnown || time == win::ToUint64(r.times[2])) return Owner::kOld;
  return Owner::kPlayer;
}

// Removes the file at `path`, read-only or not; true when it is gone. The
// delete is tried first: a failure says more than an attribute read.
bool RemoveIfThere(const char* path) {
  if (path[0] == '\0' || RemoveFile(path) || IsAbsent(path)) return true;
  return MakeWritable(path) && RemoveFile(path);
}

// Moves the old file back over `r.target`; `putBack` tells whether it was
// there to move. A file of the player's at the target stays, and the old
// one, a leftover now, goes.
bool PutOldFileBack(const TargetRecord& r, bool* putBack) {
  *putBack = RenameFile(r.oldFileName, r.target, win::kMoveFileWriteThrough);
  if (*putBack) return true;
  const Owner owner = OwnerOf(r);
  switch (owner) {
    case Owner::kUnknown: return false;
    case Owner::kNone:  // nothing in the way: the old file is gone already
      return IsAbsent(r.oldFileName);
    case Owner::kPlayer: return RemoveIfThere(r.oldFileName);
    case Owner::kRun:
    case Owner::kOld: {
      const win::Dword replace = win::kMoveFileReplaceExisting | win::kMoveFileWriteThrough;
      *putBack = RenameFile(r.oldFileName, r.target, replace);
      if (!*putBack && !IsAbsent(r.oldFileName)) {
        // A pass cut short may have left the new file read-only.
        MakeWritable(r.target);
        *putBack = RenameFile(r.oldFileName, r.target, replace);
      }
      return *putBack || IsAbsent(r.oldFileName);
    }
  }
  return false;
}

bool UndoTarget(const TargetRecord& r) {
  const bool existed = r.attributes != win::kInvalidFileAttributes;
  bool putBack = false;
  if (r.oldFileName[0] != '\0' && !PutOldFileBack(r, &putBack)) return false;
  if (!RemoveIfThere(r.staged)) return false;
  // A new file of the run where there was none goes.
  if (!existed && r.staged[0] != '\0') {
    const Owner owner = OwnerOf(r);
    if (owner == Owner::kUnknown || (owner == Owner::kRun && !RemoveIfThere(r.target))) {
      return false;
    }
  }
  if (!existed) return true;
  // The old file's times (a name removed a moment before can lend its
  // creation time to the file that takes it) and attributes, unless the
  // file at the target is the player's now.
  if (!putBack && OwnerOf(r) != Owner::kOld) return true;
  if (r.timesKnown && r.staged[0] != '\0' &&
      !SetFileTimes(r.target, r.times[0], r.times[1], r.times[2])) {
    return false;
  }
  return AttributesOf(r.target) == r.attributes || SetAttributes(r.target, r.attributes);
}

// Finishing a target: the old file out of the way, the staged one in its
// place, its times. After a crash, a target that the player changed since
// the run left it is not replaced; its staged file goes. The run itself,
// placing what it has just staged, knows every file as it left it.
bool PlaceStaged(const TargetRecord& r, bool afterCrash, bool last) {
  if (r.staged[0] == '\0') return true;
  // A link made inside the game's folders since the run began stops it.
  if (!IsInGameFolders(r.target)) return false;
  bool playerWins = false;
  if (r.attributes != win::kInvalidFileAttributes) {
    // Asked before the move: a file that the player changed is not moved.
    switch (afterCrash ? OwnerOf(r) : Owner::kOld) {
      case Owner::kNone:  // moved before
      case Owner::kRun:   // replaced before
        break;
      case Owner::kPlayer: playerWins = true; break;
      case Owner::kOld:
        if (!RenameFile(r.target, r.oldFileName, 0)) return false;
        break;
      case Owner::kUnknown: return false;
    }
  }
  bool placed = false;
  if (!playerWins) {
    // The renames reach the disk in order (NTFS logs them so); the last is
    // written through, which puts every one before it there too.
    placed = RenameFile(r.staged, r.target, last ? win::kMoveFileWriteThrough : 0);
    if (!placed && !afterCrash) return false;
    if (!placed) {
      switch (OwnerOf(r)) {
        case Owner::kRun:  // in place before
          if (!IsAbsent(r.staged)) return false;
          break;
        case Owner::kNone:
        case Owner::kUnknown: return false;
        case Owner::kOld:
        case Owner::kPlayer:  // a file took the empty place: the player's
          playerWins = true;
          break;
      }
    }
  }
  if (playerWins) return RemoveIfThere(r.staged);
  // NTFS gives a name removed a moment before its creation time to the
  // file that takes the name: all three times are set after the move.
  if (!r.hasNewTime || (!placed && OwnerOf(r) != Owner::kRun)) return true;
  return SetFileTimes(r.target, r.newTime, r.newTime, r.newTime);
}

}  // namespace

bool UndoPlan(const UpdatePlan& plan) {
  bool allUndone = true;
  for (int i = plan.targetCount - 1; i >= 0; --i) allUndone &= UndoTarget(plan.targets[i]);
  return allUndone;
}

bool RemoveMadeFolders(const UpdatePlan& plan) {
  bool allGone = true;
  for (int i = plan.folderCount - 1; i >= 0; --i) {
    const char* folder = plan.folders[i];
    if (plan.folderMade[i]) allGone &= RemoveFolder(folder) || IsAbsent(folder);
  }
  return allGone;
}

bool PlaceStagedFiles(const UpdatePlan& plan, bool afterCrash) {
  int last = plan.targetCount - 1;
  while (last >= 0 && plan.targets[last].staged[0] == '\0') --last;
  for (int i = 0; i < plan.targetCount; ++i) {
    if (!PlaceStaged(plan.targets[i], afterCrash, i == last)) return false;
  }
  return true;
}

bool FinishPlan(const UpdatePlan& plan) {
  if (!plan.placed && !PlaceStagedFiles(plan, true)) return false;
  if (!plan.merged && !MergeCopiedFolders(plan)) return false;
  bool allGone = true;
  for (int i = 0; i < plan.targetCount; ++i) allGone &= RemoveIfThere(plan.targets[i].oldFileName);
  return allGone;
}
