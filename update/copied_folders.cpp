#include "update/copied_folders.h"

#include <cstring>

#include "core/file_helpers.h"
#include "core/join_path.h"
#include "core/platform.h"
#include "core/text_format.h"
#include "core/updater_state.h"
#include "update/contained_path.h"
#include "update/copy_from_disc.h"
#include "update/item_paths.h"

namespace {

// Calls `each(path, data)` for every entry of `folder` but "." and "..".
// False when the folder cannot be listed or `each` fails.
template <typename Each>
bool ForEachEntry(const char* folder, Each each) {
  char pattern[kPathSize];
  CopyText(pattern, sizeof pattern, folder);
  if (!JoinPath(pattern, sizeof pattern, "*")) return false;
  win::FindDataA data{};
  win::Handle find = platform.FindFirstFileA(pattern, &data);
  if (find == win::InvalidHandle()) return false;
  bool succeeded = true;
  do {
    if (std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0) continue;
    char path[kPathSize];
    CopyText(path, sizeof path, folder);
    succeeded = JoinPath(path, sizeof path, data.cFileName) && each(path, data);
  } while (succeeded && platform.FindNextFileA(find, &data));
  platform.FindClose(find);
  return succeeded;
}

bool IsLink(const win::FindDataA& data) {
  return (data.dwFileAttributes & win::kAttributeReparsePoint) != 0;
}

bool IsFolder(const win::FindDataA& data) {
  return (data.dwFileAttributes & win::kAttributeDirectory) != 0 && !IsLink(data);
}

bool FlushTree(const char* folder) {
  return ForEachEntry(folder, [](const char* path, const win::FindDataA& data) {
    if (IsFolder(data)) return FlushTree(path);
    if (IsLink(data)) return true;  // the shell copies files, never links
    // A flush needs write access: a read-only copy is made writable for it
    // and read-only again after, as the merge is to copy it.
    const bool readOnly = (data.dwFileAttributes & win::kAttributeReadonly) != 0;
    if (readOnly && !MakeWritable(path)) return false;
    win::Handle file = OpenForWriting(path, win::kOpenExisting);
    if (file == win::InvalidHandle()) return false;
    return FlushAndClose(file) && (!readOnly || SetAttributes(path, data.dwFileAttributes));
  });
}

// Removes `folder` with everything in it. A link is removed itself: what it
// points to is never touched.
bool RemoveTree(const char* folder) {
  ForEachEntry(folder, [](const char* path, const win::FindDataA& data) {
    if (IsFolder(data)) return RemoveTree(path);
    if (data.dwFileAttributes & win::kAttributeReadonly) MakeWritable(path);
    // A link to a folder goes as a folder does on Windows.
    return RemoveFile(path) || RemoveFolder(path) || IsAbsent(path);
  });
  return RemoveFolder(folder) || IsAbsent(folder);
}

}  // namespace

// The copy folder lies in the game's folders, reached without a link: a
// program of the player could put a link in its place, and the listing
// would then walk wherever it points. Asked right before each use.
namespace {
bool CopyFolderIsOurs(const UpdatePlan& plan) { return IsInGameFolders(plan.copyFolder); }
}  // namespace

bool FlushCopyFolder(const UpdatePlan& plan) {
  return plan.copyFolder[0] == '\0' || (CopyFolderIsOurs(plan) && FlushTree(plan.copyFolder));
}

bool MergeCopiedFolders(const UpdatePlan& plan) {
  if (plan.copyFolder[0] == '\0' || IsAbsent(plan.copyFolder)) return true;
  char destination[kPathSize];
  if (!CopyFolderDestination(destination)) return false;
  for (int i = 0; i < plan.copiedFolderCount; ++i) {
    // Neither the copied folder nor the folder it lands in may be a link:
    // the shell's copy would read or write through it.
    const char* copied = plan.copiedFolders[i];
    char landing[kPathSize];
    if (!CopyFolderIsOurs(plan) || !IsInGameFolders(copied) ||
        !CopyFileDestination(copied + FileNameOffset(copied), landing) ||
        !IsInGameFolders(landing)) {
      return false;
    }
    char source[kPathSize + 1];
    OnePathList(plan.copiedFolders[i], source);
    // The wizard owns the shell's windows; at start-up there is none.
    bool aborted = false;
    if (ShellCopy(updaterState.ownerWindow, source, destination, true, &aborted) != 0 || aborted) {
      return false;
    }
    // As the copy straight from the disc did: the install folder is made
    // writable after a folder copy.
    MakeWritable(destination);
  }
  return true;
}

bool RemoveCopyFolder(const UpdatePlan& plan) {
  return plan.copyFolder[0] == '\0' || IsAbsent(plan.copyFolder) ||
         (CopyFolderIsOurs(plan) && RemoveTree(plan.copyFolder));
}
