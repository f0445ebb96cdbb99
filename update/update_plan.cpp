#include "update/update_plan.h"

#include "core/platform.h"
#include "core/system_functions.h"

namespace {

bool Exists(const char* path) {
  return path[0] != '\0' && systemFunctions.GetFileAttributesA(path) != win::kInvalidFileAttributes;
}

// Removes the file at `path`, read-only or not; true when it is gone. The
// delete is tried first: a failure says more than an attribute read.
bool RemoveIfThere(const char* path) {
  if (path[0] == '\0' || platform.DeleteFileA(path) || !Exists(path)) return true;
  return systemFunctions.SetFileAttributesA(path, win::kAttributeNormal) &&
         platform.DeleteFileA(path);
}

// Gives the file at `path` the three times (when it is there).
bool SetTimes(const char* path, const win::FileTime times[3]) {
  win::Handle file = systemFunctions.CreateFileA(path, win::kFileWriteAttributes, 0, nullptr,
                                                 win::kOpenExisting, win::kAttributeNormal, nullptr);
  if (file == win::InvalidHandle()) return !Exists(path);
  bool set = platform.SetFileTime(file, &times[0], &times[1], &times[2]) != 0;
  systemFunctions.CloseHandle(file);
  return set;
}

// Moves the old file back from its kept name, when it is there.
bool PutBack(const TargetRecord& r) {
  const win::Dword flags = win::kMoveFileReplaceExisting | win::kMoveFileWriteThrough;
  if (platform.MoveFileExA(r.kept, r.target, flags) || !Exists(r.kept)) return true;
  // A pass cut short may have made the new file read-only already.
  systemFunctions.SetFileAttributesA(r.target, win::kAttributeNormal);
  return platform.MoveFileExA(r.kept, r.target, flags) != 0;
}

bool RestoreAttributes(const TargetRecord& r) {
  return systemFunctions.GetFileAttributesA(r.target) == r.attributes ||
         systemFunctions.SetFileAttributesA(r.target, r.attributes) || !Exists(r.target);
}

// Existence is asked only where an action cannot tell by itself.
bool UndoTarget(const TargetRecord& r) {
  const bool existed = r.attributes != win::kInvalidFileAttributes;
  bool sound = true;
  if (r.staged[0] != '\0') {
    // Until the old file is back, the target is not the old file and keeps
    // its state.
    if (r.kept[0] != '\0' && !PutBack(r)) return false;
    // A target that had no file is removed only once the staged file has
    // taken its place: a file there while the staged one is still beside it
    // is not the run's.
    const bool stagedRemoved = platform.DeleteFileA(r.staged) != 0;
    if (!stagedRemoved && Exists(r.staged)) {
      sound = false;
    } else if (!stagedRemoved && !existed) {
      sound &= RemoveIfThere(r.target);
    }
    // A name that was removed a moment before can lend its times to the
    // file that takes it: all three are set again.
    if (existed && r.timesKnown) sound &= SetTimes(r.target, r.times);
  }
  if (existed) sound &= RestoreAttributes(r);
  return sound;
}

}  // namespace

bool UndoPlan(const UpdatePlan& plan) {
  bool sound = true;
  for (int i = plan.targetCount - 1; i >= 0; --i) sound &= UndoTarget(plan.targets[i]);
  for (int i = plan.folderCount - 1; i >= 0; --i) {
    const char* folder = plan.folders[i];
    if (plan.folderMade[i]) sound &= platform.RemoveDirectoryA(folder) || !Exists(folder);
  }
  return sound;
}

bool FinishPlan(const UpdatePlan& plan) {
  bool sound = true;
  for (int i = 0; i < plan.targetCount; ++i) {
    sound &= RemoveIfThere(plan.targets[i].kept);
    sound &= RemoveIfThere(plan.targets[i].staged);
  }
  return sound;
}
