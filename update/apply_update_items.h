#pragma once

// Writes the archive entry of each update item over its target in list
// order (with the "o", overwrite-only and "d" rules), all or nothing: every
// new content is staged beside its target first, then the targets are
// replaced. Any failure puts every target back as it was and removes what
// the run made, then shows the failure's messages ending with
// "ファイルの書き込みに失敗しました", and returns false.
bool ApplyUpdateItems(bool overwriteOnly);
