// Paths that stay where they belong. The update description names files
// relative to the installation, and the journal names them by full path;
// the updater runs elevated, so it acts on neither unless the path stays
// inside its folder and reaches it without a link.
#pragma once

// True when `path`, joined to a folder, names something inside that
// folder: it is not empty, does not start with a separator (no root, no
// "\\server"), holds no ':' (no drive, no stream), and none of its
// components is made of dots and spaces only (".", "..", and what Windows
// trims to them) or names a device (CON, PRN, AUX, NUL, COM0-9, LPT0-9,
// CONIN$, CONOUT$, with or without an extension). Both '\' and '/'
// separate; the walk goes by characters, so the second byte of a two-byte
// character is never a separator.
bool IsContainedRelativePath(const char* path);

// When `path` is `folder` (ASCII letters compared without regard to case)
// followed by a contained relative path: the offset of that rest. -1
// otherwise, also for an empty folder.
int ContainedRestOffset(const char* path, const char* folder);

// True when no prefix of `path` that ends at a separator at or after
// `restOffset`, nor the whole path, reads as a reparse point (a symbolic
// link, junction or mount point). The part before `restOffset` (the folder
// the path was checked against) is taken as it is.
bool NoReparsePointBelow(const char* path, int restOffset);

// True when `path` lies below the installation folder or the data folder
// (`instPath`, `dataPath`) by a contained relative path, and no part of it
// below that folder reads as a reparse point: the only places the updater
// writes, moves or deletes.
bool IsInGameFolders(const char* path);
