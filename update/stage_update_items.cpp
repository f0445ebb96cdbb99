#include "update/stage_update_items.h"

#include <cstring>

#include "archive/archive_directory.h"
#include "archive/extract_entry.h"
#include "core/file_helpers.h"
#include "core/join_path.h"
#include "core/platform.h"
#include "core/text_format.h"
#include "core/updater_state.h"
#include "update/contained_path.h"
#include "update/copied_folders.h"
#include "update/copy_from_disc.h"
#include "update/item_paths.h"
#include "update/run_file_names.h"
#include "update/update_journal.h"
#include "update/update_lines.h"

namespace {

// The items to stage, in list order.
struct ItemList {
  const UpdateItem* items;
  int count;
};

struct Stage {
  ItemList list;
  bool overwriteOnly;
  win::Handle journal;
  UpdatePlan* plan;
};

// Whether a file (not a folder) is at `path`; false when that cannot be told.
bool AskExistingFile(const char* path, bool* exists) {
  win::Dword attributes = 0;
  if (!ReadAttributes(path, &attributes)) return false;
  *exists = attributes != win::kInvalidFileAttributes && !(attributes & win::kAttributeDirectory);
  return true;
}

bool SameName(const char* a, const char* b) { return platform.lstrcmpiA(a, b) == 0; }

// True when `path` is a name the run has given out or will write.
bool NameInUse(const ItemList& list, const UpdatePlan& plan, const char* path) {
  for (int i = 0; i < plan.targetCount; ++i) {
    const TargetRecord& r = plan.targets[i];
    if (SameName(path, r.target) || SameName(path, r.staged) || SameName(path, r.oldFileName))
      return true;
  }
  char target[kPathSize];
  for (int i = 0; i < list.count; ++i) {
    if (UpdateItemTarget(list.items[i], target) && SameName(path, target)) return true;
  }
  return false;
}

// A path in the folder of `beside` that no file and no name of the run has.
bool ChooseFreeName(const Stage& stage, const char* beside, char* chosen) {
  char path[kPathSize];
  for (unsigned attempt = 0; attempt < kRunFileNameAttempts; ++attempt) {
    if (!RunFileName(beside, attempt, path)) return false;
    if (!NameInUse(stage.list, *stage.plan, path) &&
        AttributesOf(path) == win::kInvalidFileAttributes) {
      CopyText(chosen, kPathSize, path);
      return true;
    }
  }
  return false;
}

// Creates the item's folder when it is missing (recorded first, so that it
// is removed again on failure). Its result is not needed: a folder that
// cannot be made shows when the item is written.
bool MakeFolder(const Stage& stage, const char* folder) {
  if (AttributesOf(folder) != win::kInvalidFileAttributes) return true;
  UpdatePlan& plan = *stage.plan;
  int index = 0;
  while (index < plan.folderCount && !SameName(plan.folders[index], folder)) ++index;
  if (index == plan.folderCount) {
    if (index == kMaxPlanFolders || !JournalFolder(stage.journal, folder)) return false;
    CopyText(plan.folders[plan.folderCount++], kPathSize, folder);
  }
  // Only a folder that the run made is the run's to remove.
  if (CreateFolder(folder)) plan.folderMade[index] = true;
  return true;
}

TargetRecord* FindTarget(UpdatePlan& plan, const char* target) {
  for (int i = 0; i < plan.targetCount; ++i) {
    if (SameName(plan.targets[i].target, target)) return &plan.targets[i];
  }
  return nullptr;
}

// Records a target before anything of it changes: its attributes and times.
TargetRecord* AddTarget(const Stage& stage, const char* target, win::Dword attributes) {
  UpdatePlan& plan = *stage.plan;
  TargetRecord& r = plan.targets[plan.targetCount];
  std::memset(&r, 0, sizeof r);
  CopyText(r.target, kPathSize, target);
  r.attributes = attributes;
  if (attributes != win::kInvalidFileAttributes) {
    r.timesKnown = ReadFileTimes(target, &r.times[0], &r.times[1], &r.times[2]);
  }
  if (!JournalTarget(stage.journal, plan.targetCount, r)) return nullptr;
  ++plan.targetCount;
  return &r;
}

// Gives `r` its staged name beside the target, recorded (S) before the
// file is made; `fresh` tells whether the name is new (else an earlier item
// of the target staged under it).
bool NameStaged(const Stage& stage, TargetRecord* r, bool* fresh) {
  *fresh = r->staged[0] == '\0';
  return !*fresh || (ChooseFreeName(stage, r->target, r->staged) &&
                     JournalStaged(stage.journal, int(r - stage.plan->targets), r->staged));
}

// The old file's place while the targets are replaced (K), once the new
// content is staged.
bool NameOldFile(const Stage& stage, TargetRecord* r) {
  if (r->attributes == win::kInvalidFileAttributes || r->oldFileName[0] != '\0') return true;
  return ChooseFreeName(stage, r->target, r->oldFileName) &&
         JournalOldFileName(stage.journal, int(r - stage.plan->targets), r->oldFileName);
}

// Writes the new content of `r` beside it, with `time` when given. It is
// flushed with the others when the run commits (CommitStagedFiles).
// `status` tells content that could not be had from a failed write.
bool WriteStaged(const Stage& stage, TargetRecord* r, const FileContent& content,
                 const win::FileTime* time, ContentStatus* status) {
  *status = ContentStatus::kWriteFailed;
  bool fresh = false;
  if (!NameStaged(stage, r, &fresh)) return false;
  win::Handle file = OpenForWriting(r->staged, fresh ? win::kCreateNew : win::kCreateAlways);
  if (file == win::InvalidHandle()) return false;
  *status = WriteContent(file, content);
  bool complete = *status == ContentStatus::kOk;
  complete = complete && (time == nullptr || SetAllTimes(file, *time));
  CloseFile(file);
  if (!complete) return false;
  r->writtenSize = content.size;
  r->hasNewTime = time != nullptr;
  if (time != nullptr) r->newTime = *time;
  return NameOldFile(stage, r);
}

// Forgets a staged file that could not be written whole.
bool DropStaged(TargetRecord* r) {
  if (AttributesOf(r->staged) != win::kInvalidFileAttributes && !RemoveFile(r->staged)) {
    return false;
  }
  r->staged[0] = '\0';
  return true;
}

// The target's record, made on first use with the attributes just read.
TargetRecord* RecordFor(const Stage& stage, const char* target, win::Dword attributes) {
  TargetRecord* r = FindTarget(*stage.plan, target);
  return r != nullptr ? r : AddTarget(stage, target, attributes);
}

// Mode "d": an existing target keeps its content, written again (with the
// time of the rewrite). False when the file cannot be read whole; the
// archive entry is written instead then. A read-only file, which the
// rewrite could not replace, stays as it is.
bool StageDataRewrite(const Stage& stage, const char* target, const char* current,
                      bool* succeeded) {
  win::Handle file = OpenForReading(current);
  if (file == win::InvalidHandle()) return false;
  // A file of 4 GiB or more cannot be read in one block.
  void* block = nullptr;
  uint32_t size = 0;
  const bool whole = ReadWholeFile(file, UINT32_MAX, 0, &block, &size) == WholeFileReading::kRead;
  CloseFile(file);
  win::Dword attributes = 0;
  if (whole && !ReadAttributes(current, &attributes)) {
    *succeeded = false;
  } else if (whole && attributes != win::kInvalidFileAttributes &&
             !(attributes & win::kAttributeReadonly)) {
    TargetRecord* r = RecordFor(stage, target, attributes);
    const bool fresh = r != nullptr && r->staged[0] == '\0';
    ContentStatus status = ContentStatus::kOk;
    *succeeded = r != nullptr && WriteStaged(stage, r, BlockContent(block, size), nullptr, &status);
    // A rewrite that fails leaves the file as it was, and the run goes on.
    if (!*succeeded && fresh) *succeeded = DropStaged(r);
  }
  if (block != nullptr) platform.GlobalFree(block);
  return whole;
}

// The archive entry for the target, as ExtractEntry decides it.
bool StageEntry(const Stage& stage, const UpdateItem& item, const char* target,
                const char* current) {
  const uint8_t* stored = nullptr;
  // The free space was asked once for the whole staging (StagingFits).
  const ArchiveEntry* entry = PrepareEntry(item.path + item.nameOffset, nullptr, &stored);
  if (entry == nullptr) return false;
  win::Dword attributes = 0;
  const bool known = ReadAttributes(current, &attributes);
  const bool exists = attributes != win::kInvalidFileAttributes;
  if (!known || (exists && (attributes & win::kAttributeDirectory))) return false;
  TargetRecord* r = RecordFor(stage, target, attributes);
  if (r == nullptr) return false;
  // The old attributes are on the disk (the T record) before they change.
  if (exists && (attributes & win::kAttributeReadonly)) {
    if (!FlushJournal(stage.journal)) return false;
    MakeWritable(current);
  }
  if (item.modeCode == kModeNewer && exists && ExistingFileIsNewer(current, entry->fileTime)) {
    return true;
  }
  ContentStatus status = ContentStatus::kOk;
  if (WriteStaged(stage, r, EntryFileContent(entry, stored), &entry->fileTime, &status)) {
    return true;
  }
  ShowContentError(status, entry->name);
  return false;
}

bool StageItem(const Stage& stage, const UpdateItem& item) {
  // The paths fit: CheckItemPaths has built them all before.
  char folder[kPathSize];
  UpdateItemFolder(item, folder);
  char target[kPathSize];
  CopyText(target, sizeof target, folder);
  JoinPath(target, sizeof target, item.path);
  // Nothing is made or written outside the game's folders, or through a
  // link inside them.
  if (!IsInGameFolders(target) || !MakeFolder(stage, folder)) return false;

  // An earlier item of the same target decides through what it staged.
  const TargetRecord* earlier = FindTarget(*stage.plan, target);
  const char* current = earlier != nullptr && earlier->staged[0] != '\0' ? earlier->staged : target;
  if (stage.overwriteOnly || item.modeCode == kModeOverwrite) {
    bool exists = false;
    if (!AskExistingFile(current, &exists)) return false;
    if (!exists) return true;
  }
  bool succeeded = true;
  if (item.modeCode == kModeData && StageDataRewrite(stage, target, current, &succeeded)) {
    return succeeded;
  }
  return StageEntry(stage, item, target, current);
}

// Shows that copy item `index` cannot be made, told to the run by
// `reported`; false, the run stops.
bool CopyFailed(const CopyWalk& walk, int index, bool* reported) {
  walk.ShowCopyFailed(index);
  *reported = true;
  return false;
}

// A file from the disc: copied by the shell beside its destination like an
// update item's new content, keeping the disc file's times. The copy's own
// failure or its cancel is told by `walk` (`reported`).
bool StageCopiedFile(const Stage& stage, CopyWalk& walk, int index, const char* source,
                     bool* reported) {
  char destination[kPathSize];
  CopyFileDestination(walk.copies().names[index], destination);  // fits: checked before
  win::Dword attributes = 0;
  if (!ReadAttributes(destination, &attributes)) return false;
  // A link on the way, or a folder where the file goes, is no place to copy.
  if (!IsInGameFolders(destination) ||
      (attributes != win::kInvalidFileAttributes && (attributes & win::kAttributeDirectory))) {
    return CopyFailed(walk, index, reported);
  }
  TargetRecord* r = RecordFor(stage, destination, attributes);
  bool fresh = false;
  if (r == nullptr || !NameStaged(stage, r, &fresh)) return false;
  char staged[kPathSize + 1];
  OnePathList(r->staged, staged);
  if (!walk.Copy(index, source, staged, false)) {
    *reported = true;
    return false;
  }
  win::Handle file = OpenForReading(r->staged);
  if (file == win::InvalidHandle()) return false;
  const bool sized = ReadFileSize(file, &r->writtenSize);
  CloseFile(file);
  if (!sized) return false;
  r->hasNewTime = false;
  return NameOldFile(stage, r);
}

// A folder from the disc: copied by the shell into the run's copy folder
// (made with the first), to be merged into the install folder after the
// replace (copied_folders.h).
bool StageCopiedFolder(const Stage& stage, CopyWalk& walk, int index, const char* source,
                       bool* reported) {
  const char* name = walk.copies().names[index];
  // The folder the shell makes: the name's last part that is not empty.
  char last[kPathSize];
  CopyText(last, sizeof last, name);
  const size_t length = std::strlen(last);
  if (length > 0 && (last[length - 1] == '\\' || last[length - 1] == '/')) {
    last[length - 1] = '\0';  // "folder\": a single trailing separator
  }
  char landing[kPathSize];
  if (!CopyFileDestination(last + FileNameOffset(last), landing)) return false;
  if (last[0] == '\0' || !IsInGameFolders(landing)) return CopyFailed(walk, index, reported);
  UpdatePlan& plan = *stage.plan;
  if (plan.copyFolder[0] == '\0') {
    if (!ChooseFreeName(stage, landing, plan.copyFolder) ||
        !JournalCopyFolder(stage.journal, plan.copyFolder) || !CreateFolder(plan.copyFolder)) {
      return false;
    }
  }
  char into[kPathSize + 1];
  OnePathList(plan.copyFolder, into);
  if (!walk.Copy(index, source, into, true)) {
    *reported = true;
    return false;
  }
  char copied[kPathSize];
  CopyText(copied, sizeof copied, plan.copyFolder);
  if (!JoinPath(copied, sizeof copied, last + FileNameOffset(last)) || IsAbsent(copied)) {
    return CopyFailed(walk, index, reported);
  }
  for (int i = 0; i < plan.copiedFolderCount; ++i) {
    if (SameName(plan.copiedFolders[i], copied)) return true;  // merged once
  }
  if (!JournalCopiedFolder(stage.journal, copied)) return false;
  CopyText(plan.copiedFolders[plan.copiedFolderCount++], kPathSize, copied);
  return true;
}

// Every copy item, in list order, each disc asked for in turn.
bool StageCopies(const Stage& stage, CopyWalk& walk, bool* reported) {
  for (int i = 0; i < walk.copies().count; ++i) {
    char source[kPathSize];
    bool isFolder = false;
    if (!walk.FindSource(i, source, &isFolder)) {
      *reported = true;  // cancelled at the disc prompt
      return false;
    }
    const bool done = isFolder ? StageCopiedFolder(stage, walk, i, source, reported)
                               : StageCopiedFile(stage, walk, i, source, reported);
    if (!done) return false;
  }
  return true;
}

// The one free-space question of the run, before anything is staged: space
// on each drive for the entries of every item whose folder is there (an
// upper bound: an item may turn out to write nothing). Entries that are
// not found are left to their item's own message.
bool StagingFits(const ItemList& list) {
  uint64_t needed['Z' - 'A' + 1] = {};
  char folder[kPathSize];
  for (int i = 0; i < list.count; ++i) {
    const UpdateItem& item = list.items[i];
    const uint8_t* stored = nullptr;
    const ArchiveEntry* entry = FindEntry(item.path + item.nameOffset, &stored);
    if (entry == nullptr || !UpdateItemFolder(item, folder)) continue;
    const char letter = char(folder[0] & ~0x20);  // the drive, in capitals
    if (letter >= 'A' && letter <= 'Z') needed[letter - 'A'] += entry->unpackedSize;
  }
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const char root[3] = {letter, ':', '\0'};
    if (needed[letter - 'A'] != 0 && !EnoughSpace(root, needed[letter - 'A'])) return false;
  }
  return true;
}

}  // namespace

bool CommitStagedFiles(win::Handle journal, UpdatePlan* plan) {
  for (int i = 0; i < plan->targetCount; ++i) {
    TargetRecord& r = plan->targets[i];
    if (r.staged[0] == '\0') continue;
    win::Handle file = OpenForWriting(r.staged, win::kOpenExisting);
    if (file == win::InvalidHandle()) return false;
    // The write time as the file holds it (a rewrite's own time included).
    const bool read = ReadLastWriteTime(file, &r.writtenTime);
    const bool flushed = FlushAndClose(file);
    r.written = read && flushed;
    if (!r.written || !JournalWritten(journal, i, r)) return false;
  }
  if (!FlushCopyFolder(*plan)) return false;
  // From the try on: a C that failed may still reach the disk, so a run that
  // fails from here gives up with U.
  plan->committed = true;
  return JournalCommitted(journal);
}

bool StageUpdateItems(const UpdateItem* items, int count, CopyWalk& walk, bool overwriteOnly,
                      win::Handle journal, UpdatePlan* plan, bool* reported) {
  const Stage stage{{items, count}, overwriteOnly, journal, plan};
  if (!StagingFits(stage.list)) return false;
  for (int i = 0; i < count; ++i) {
    if (!StageItem(stage, items[i])) return false;
  }
  return StageCopies(stage, walk, reported);
}
