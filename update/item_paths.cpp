#include "update/item_paths.h"

#include <cstring>

#include "core/join_path.h"
#include "core/show_error.h"
#include "core/text_format.h"
#include "texts.h"
#include "update/update_lines.h"

namespace {

bool Join(char* path, const char* start, const char* name) {
  CopyText(path, kPathSize, start);
  return JoinPath(path, kPathSize, name);
}

bool Refuse(const char* what) {
  ShowErrorFormatted(kMsgPathTooLong, what);
  return false;
}

}  // namespace

bool UpdateItemFolder(const UpdateItem& item, char* folder) {
  const UpdaterState& s = updaterState;
  return Join(folder, item.modeCode == kModeData ? s.dataPath : s.instPath, s.dataFolder);
}

bool UpdateItemTarget(const UpdateItem& item, char* target) {
  return UpdateItemFolder(item, target) && JoinPath(target, kPathSize, item.path);
}

bool CopySource(const char* drive, const char* name, char* source) {
  return Join(source, drive, name);
}

bool CopyFileDestination(const char* name, char* destination) {
  return Join(destination, updaterState.instPath, name);
}

bool CopyFolderDestination(char* destination) {
  size_t length = std::strlen(updaterState.instPath);
  if (length + 2 > size_t(kPathSize)) return false;
  std::memcpy(destination, updaterState.instPath, length);
  destination[length] = '\0';
  destination[length + 1] = '\0';
  return true;
}

bool DiscCheckPath(const char* drive, int disc, char* path) {
  return Join(path, drive, updaterState.diskCheckFiles[disc]);
}

bool CheckItemPaths() {
  const UpdaterState& s = updaterState;
  char path[kPathSize];
  for (int i = 0; i < s.updateItemCount; ++i) {
    const UpdateItem& item = s.updateItems[i];
    if (!UpdateItemFolder(item, path)) return Refuse(s.dataFolder);
    if (!UpdateItemTarget(item, path)) return Refuse(item.path);
  }
  if (s.copyItemCount > 0 && !CopyFolderDestination(path)) return Refuse(s.instPath);
  for (int i = 0; i < s.copyItemCount; ++i) {
    const char* name = s.copyNames[i];
    if (!CopySource("A:", name, path) || !CopyFileDestination(name, path)) return Refuse(name);
    int disc = s.copyDiscs[i];
    if (disc != 0 && !DiscCheckPath("A:", disc, path)) return Refuse(s.diskCheckFiles[disc]);
  }
  return true;
}
