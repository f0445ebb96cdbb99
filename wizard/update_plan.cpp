#include "wizard/update_plan.h"

#include "core/platform.h"
#include "core/system_functions.h"

namespace {

bool Exists(const char* path) {
  return path[0] != '\0' && systemFunctions.GetFileAttributesA(path) != win::kInvalidFileAttributes;
}

bool RemoveIfThere(const char* path) {
  return !Exists(path) || platform.DeleteFileA(path) != 0;
}

// Gives the file at `path` the three times (when it is there).
bool SetTimes(const char* path, const win::FileTime times[3]) {
  if (!Exists(path)) return true;
  win::Handle file = systemFunctions.CreateFileA(path, win::kFileWriteAttributes, 0, nullptr,
                                                 win::kOpenExisting, win::kAttributeNormal, nullptr);
  if (file == win::InvalidHandle()) return false;
  bool set = platform.SetFileTime(file, &times[0], &times[1], &times[2]) != 0;
  systemFunctions.CloseHandle(file);
  return set;
}

bool UndoTarget(const TargetRecord& r) {
  const bool existed = r.attributes != win::kInvalidFileAttributes;
  bool sound = true;
  if (r.staged[0] != '\0') {
    // The old file is either still at its place or under its kept name;
    // until it is back, the target is not the old file and keeps its state.
    if (Exists(r.kept)) {
      // A pass cut short may have made the new file read-only already.
      const win::Dword now = systemFunctions.GetFileAttributesA(r.target);
      if (now != win::kInvalidFileAttributes && (now & win::kAttributeReadonly)) {
        systemFunctions.SetFileAttributesA(r.target, win::kAttributeNormal);
      }
      if (!platform.MoveFileExA(r.kept, r.target,
                                win::kMoveFileReplaceExisting | win::kMoveFileWriteThrough)) {
        return false;
      }
    }
    if (!existed) sound &= RemoveIfThere(r.target);
    sound &= RemoveIfThere(r.staged);
    // A name that was removed a moment before can lend its times to the
    // file that takes it: all three are set again.
    if (existed && r.timesKnown) sound &= SetTimes(r.target, r.times);
  }
  if (existed && Exists(r.target) &&
      systemFunctions.GetFileAttributesA(r.target) != r.attributes) {
    sound &= systemFunctions.SetFileAttributesA(r.target, r.attributes) != 0;
  }
  return sound;
}

}  // namespace

bool UndoPlan(const UpdatePlan& plan) {
  bool sound = true;
  for (int i = plan.targetCount - 1; i >= 0; --i) sound &= UndoTarget(plan.targets[i]);
  for (int i = plan.folderCount - 1; i >= 0; --i) {
    const char* folder = plan.folders[i];
    sound &= !Exists(folder) || platform.RemoveDirectoryA(folder) != 0;
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
