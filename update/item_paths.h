// The paths that the update run builds for its items, each in a buffer of
// kPathSize bytes and ended by two NULs (a list of one path for the shell).
// Each returns false when the result would not fit.
#pragma once

#include "core/updater_state.h"

// The item's folder: `dataPath` for mode "d", else `instPath`, joined with
// `dataFolder`.
bool UpdateItemFolder(const UpdateItem& item, char* folder);
// The item's folder joined with its path.
bool UpdateItemTarget(const UpdateItem& item, char* target);

// `drive` ("D:") joined with a copy item's name.
bool CopySource(const char* drive, const char* name, char* source);
// Where a copied file goes: `instPath` joined with its name.
bool CopyFileDestination(const char* name, char* destination);
// Where a copied folder goes: `instPath` itself.
bool CopyFolderDestination(char* destination);
// `drive` joined with the check file of disc `disc`.
bool DiscCheckPath(const char* drive, int disc, char* path);

// Builds every path that the stored items will need (with "A:" standing for
// the drive that a disc will be found in) before anything is written. On the
// first that does not fit: shows which, and returns false.
bool CheckItemPaths();
