#include "settings/install_lists.h"

#include "settings/settings_reader.h"

int SplitIntoSlots(char* list, char (*slots)[kPathSize], int slotCount, int32_t* discs) {
  char* cursor = list;
  int stored = 0;
  while (stored < slotCount && NextListToken(slots[stored], kPathSize, &cursor)) {
    if (discs != nullptr) discs[stored] = updaterState.currentDisc;
    ++stored;
  }
  if (stored < slotCount) slots[stored][0] = '\0';
  return stored;
}

int SplitSelectionFiles(char* list, InstallSelection* selection) {
  updaterState.currentDisc = 0;
  selection->usesDiscs = 0;
  int count = SplitIntoSlots(list, selection->files, kMaxSelectionFiles, selection->discs);
  for (int j = 0; j < count; ++j) {
    if (selection->discs[j] != 0) selection->usesDiscs = 1;
  }
  return count;
}

bool SplitShortcut(char* value, ShortcutEntry* entry) {
  for (auto& field : entry->fields) field[0] = '\0';
  char* cursor = value;
  for (int m = 0; m < kShortcutFields; ++m) {
    if (NextListToken(entry->fields[m], kPathSize, &cursor)) continue;
    if (m < 2) return false;
    // At the end of the value the entry is complete; at a comma this field
    // is empty and the run of commas and blanks behind it counts as one.
    if (*cursor != ',') break;
    while (*cursor == ',' || *cursor == ' ' || *cursor == '\t') ++cursor;
  }
  return true;
}
