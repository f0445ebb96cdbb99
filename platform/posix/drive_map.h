// DOS paths over host folders: each drive letter maps to a host folder and
// has a drive type (fixed or CD-ROM), as a Wine prefix's dosdevices do.
//
// The map is read from the file named by UPDATER_DRIVE_MAP, one drive per
// line: "C: fixed /home/player/drive_c" or "D: cdrom /media/cdrom". Blank
// lines and lines starting with '#' are skipped. Without that variable, C: is
// the host's root folder.
#pragma once

#include <string>

#include "core/win_types.h"

struct DriveMapping {
  std::string hostRoot;  // empty: the letter is not mapped
  win::Uint type = win::kDriveNoRootDir;
};

// Replaces the whole map (tests); letters not given are unmapped.
void SetDriveMapping(char letter, const std::string& hostRoot, win::Uint type);
void ClearDriveMap();
// Loads the map from the environment as described above.
void LoadDriveMapFromEnvironment();

const DriveMapping& DriveFor(char letter);

// "C:\Games\x.dat" (code page 932) to the host path (UTF-8). Components are
// matched without regard to ASCII case when the exact name does not exist, as
// Windows file systems do. False for a path without a mapped drive or with
// bytes that are not code page 932.
bool DosToHostPath(const char* dosPath, std::string* hostPath);

// The host path to a DOS path on the drive whose folder holds it.
bool HostToDosPath(const std::string& hostPath, std::string* dosPath);
