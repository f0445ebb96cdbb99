#pragma once

#include "core/updater_state.h"
#include "update/copy_from_disc.h"

// Writes the archive entry of each of the `count` update items over its
// target in list order (with the "o", overwrite-only and "d" rules), and
// each file among the copy items from its disc, all or nothing: every new
// content is staged beside its target first, then the targets are replaced.
// Any failure puts every target back as it was and removes what the run
// made, then shows the failure's messages ending with
// "ファイルの書き込みに失敗しました" (none after a cancel at a disc prompt or
// a failed copy's own message), and returns false.
bool ApplyUpdateItems(const UpdateItem* items, int count, CopyWalk& walk, bool overwriteOnly);
