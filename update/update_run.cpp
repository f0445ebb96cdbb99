#include "update/update_run.h"

#include "core/show_error.h"
#include "core/text_format.h"
#include "core/updater_state.h"
#include "settings/settings_reader.h"
#include "texts.h"
#include "update/apply_update_items.h"
#include "update/copy_from_disc.h"
#include "update/item_paths.h"
#include "update/update_items.h"

int32_t ReadUpdateNumber(const char* key) {
  char value[kPathSize];
  return ReadUpdateKey(kUpdateSection, key, value, sizeof value) ? ParseDecimal(value) : 0;
}

bool ApplyUpdateSection(win::Hwnd window, ShowInfoLine showInfo) {
  const bool overwriteOnly = ReadUpdateNumber("OverwriteOnly") != 0;
  bool anyUpdateLine = false;
  bool anyCopyLine = false;
  if (!ReadUpdateItems(&anyUpdateLine) || !ReadCopyItems(&anyCopyLine)) return false;
  if (!anyUpdateLine && !anyCopyLine) {
    ShowError(kMsgNoUpdateLines);
    return false;
  }
  const UpdaterState& s = updaterState;
  if (s.updateItemCount == 0 && s.copyItemCount == 0) {
    ShowError(kMsgNothingToUpdate);
    return true;
  }
  const CopyList copies{s.copyDiscs, s.copyNames, s.copyItemCount};
  CopyWalk walk(window, copies, showInfo);
  return CheckItemPaths() &&
         ApplyUpdateItems(s.updateItems, s.updateItemCount, walk, overwriteOnly);
}
