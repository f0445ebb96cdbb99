#pragma once

// Writes the archive entry of each update item over its target in list
// order (with the "o", overwrite-only and "d" rules). Returns false after
// "ファイルの書き込みに失敗しました" when an entry cannot be written; the items
// written before stay written.
bool ApplyUpdateItems(bool overwriteOnly);
