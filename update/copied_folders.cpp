#include "update/copied_folders.h"

#include <cstring>

#include "core/file_helpers.h"
#include "core/join_path.h"
#include "core/platform.h"
#include "core/system_functions.h"
#include "core/text_format.h"
#include "core/updater_state.h"
#include "update/contained_path.h"
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
  bool sound = true;
  do {
    if (std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0) continue;
    char path[kPathSize];
    CopyText(path, sizeof path, folder);
    sound = JoinPath(path, sizeof path, data.cFileName) && each(path, data);
  } while (sound && platform.FindNextFileA(find, &data));
  platform.FindClose(find);
  return sound;
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
    if (readOnly && !systemFunctions.SetFileAttributesA(path, win::kAttributeNormal)) return false;
    win::Handle file = systemFunctions.CreateFileA(path, win::kGenericWrite, 0, nullptr,
                                                   win::kOpenExisting, win::kAttributeNormal,
                                                   nullptr);
    if (file == win::InvalidHandle()) return false;
    const bool flushed = platform.FlushFileBuffers(file) != 0;
    systemFunctions.CloseHandle(file);
    return flushed && (!readOnly || systemFunctions.SetFileAttributesA(path, data.dwFileAttributes));
  });
}

// Removes `folder` with everything in it. A link is removed itself: what it
// points to is never touched.
bool RemoveTree(const char* folder) {
  ForEachEntry(folder, [](const char* path, const win::FindDataA& data) {
    if (IsFolder(data)) return RemoveTree(path);
    if (data.dwFileAttributes & win::kAttributeReadonly) {
      systemFunctions.SetFileAttributesA(path, win::kAttributeNormal);
    }
    // A link to a folder goes with RemoveDirectoryA on Windows.
    return platform.DeleteFileA(path) || platform.RemoveDirectoryA(path) || IsAbsent(path);
  });
  return platform.RemoveDirectoryA(folder) || IsAbsent(folder);
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
    char source[kPathSize + 1];  // a list of one path for the shell
    CopyText(source, kPathSize, plan.copiedFolders[i]);
    source[std::strlen(source) + 1] = '\0';
    win::ShFileOp operation{};
    operation.hwnd = updaterState.ownerWindow;  // none at start-up
    operation.wFunc = win::kFoCopy;
    operation.pFrom = source;
    operation.pTo = destination;
    operation.fFlags = win::kFofNoConfirmation | win::kFofNoConfirmMkdir | win::kFofNoErrorUi;
    if (systemFunctions.SHFileOperationA(&operation) != 0 || operation.fAnyOperationsAborted) {
      return false;
    }
    // As the copy straight from the disc did: the install folder is made
    // writable after a folder copy.
    systemFunctions.SetFileAttributesA(destination, win::kAttributeNormal);
  }
  return true;
}

bool RemoveCopyFolder(const UpdatePlan& plan) {
  return plan.copyFolder[0] == '\0' || IsAbsent(plan.copyFolder) ||
         (CopyFolderIsOurs(plan) && RemoveTree(plan.copyFolder));
}
