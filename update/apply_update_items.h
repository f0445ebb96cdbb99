#pragma once

#include "core/updater_state.h"

// Writes the archive entry of each of the `count` update items over its target in list
// order (with the "o", overwrite-only and "d" rules), all or nothing: every
// new content is staged beside its target first, then the targets are
// replaced. Any failure puts every target back as it was and removes what
// the run made, then shows the failure's messages ending with
// "ファイルの書き込みに失敗しました", and returns false.
bool ApplyUpdateItems(const UpdateItem* items, int count, bool overwriteOnly);
