// A power cut for tests: every change made through the platform tables to
// files and folders under the drive map's folders is recorded, with what made
// it durable, and at the cut the folders are rebuilt as the disk could hold
// them after the power came back.
//
// The model. NTFS keeps file data in the cache until it is flushed or
// written back, in no order the program sees, while every metadata change
// goes through one log replayed in order after a crash; a flush or a rename
// written through commits that log. So:
//   1. Data written to a file (WriteFile, and the truncation by CreateFileA
//      with CREATE_ALWAYS or TRUNCATE_EXISTING) is durable once
//      FlushFileBuffers has been called on a handle of that file. At the cut
//      each write that is not durable is kept, dropped, or cut to a shorter
//      length, chosen at random; a truncation is kept or dropped. Bytes that
//      were not written read as the file's earlier content, or as zeros where
//      a later write that was kept went past the end.
//   2. Metadata changes (a file created, a folder made or removed, a rename,
//      a delete, attributes, file times) happen in order: at the cut a random
//      prefix of those not yet durable survives.
//   3. FlushFileBuffers on any file, and a MoveFileExA with
//      MOVEFILE_WRITE_THROUGH once it has succeeded, make every metadata
//      change up to then durable. Nothing else does: CloseHandle does not.
//   4. The shell's copy (SHFileOperationA) flushes nothing: the folders and
//      files it makes are metadata changes, and their contents writes that
//      are not durable.
// A write's new times go with its data, the times of SetFileTime with the
// metadata. NTFS also writes cached data back on its own, which only makes
// more survive.
//
// The folders are read when the simulator starts (all of it counts as
// durable then). Writes follow their file across renames: a handle names a
// file, not a path. Randomness comes from the seed alone, so a cut is
// replayed by the same seed and the same calls.
//
// Only what goes through the tables is seen: CutPower first checks that the
// recorded changes, all kept, give the folders as they are, and says so when
// they do not (something wrote around the tables).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class PowerCut {
 public:
  // Wraps the entries of the tables as they are now (a FaultInjector made
  // later wraps these in turn) and reads the folders of the drive map's
  // fixed drives.
  explicit PowerCut(uint32_t seed);
  ~PowerCut();
  PowerCut(const PowerCut&) = delete;
  PowerCut& operator=(const PowerCut&) = delete;

  // Rebuilds the folders as they could be after a power cut now. Empty, or
  // what differed between the recorded changes and the disk (the folders
  // are then left as they were).
  std::string CutPower();

  struct Log;  // the record; the wrappers of the table entries write it

 private:
  std::unique_ptr<Log> log_;
};
