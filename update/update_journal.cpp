#include "update/update_journal.h"

#include <cstring>

#include "core/file_helpers.h"
#include "core/join_path.h"
#include "core/platform.h"
#include "core/text_format.h"
#include "core/updater_state.h"

namespace {

const char kJournalName[] = "~UPD.JNL";
const char kHeader[] = "UPDJ 2";
// 32 targets of 4 records that hold a path (each under 350 bytes) and a W,
// with room to spare.
constexpr uint32_t kMaxJournalSize = 0x10000;
constexpr int kLineSize = kLongTextSize;

// FNV-1a over the record's bytes.
uint32_t Checksum(const char* text, size_t length) {
  uint32_t sum = 2166136261u;
  for (size_t i = 0; i < length; ++i) sum = (sum ^ uint8_t(text[i])) * 16777619u;
  return sum;
}

char* PutHex(char* out, uint64_t value, int digits) {
  for (int i = digits - 1; i >= 0; --i)
    out[i] = "0123456789abcdef"[(value >> (4 * (digits - 1 - i))) & 15];
  return out + digits;
}

// The records not yet written: a group goes to the disk in one write,
// flushed (invariant 1). A line is at most kLineSize + 11 bytes; the
// largest group, the old-file names, W records and copied folders that wait
// for C, fits with room to spare.
constexpr size_t kGroupSize = 0x8000;
char group[kGroupSize];
size_t groupLength = 0;

bool WriteGroup(win::Handle journal) {
  const win::Dword size = win::Dword(groupLength);
  groupLength = 0;
  return (size == 0 || WriteAll(journal, group, size)) && FlushFile(journal);
}

// Adds "<body>\t<checksum>\r\n" to the group; with `now`, writes the group
// and flushes it, as the record's step needs it on the disk first.
bool Append(win::Handle journal, const char* body, bool now) {
  const size_t length = std::strlen(body);
  if (groupLength + length + 11 > kGroupSize && !WriteGroup(journal)) return false;
  char* line = group + groupLength;
  std::memcpy(line, body, length);
  char* end = line + length;
  *end++ = '\t';
  end = PutHex(end, Checksum(body, length), 8);
  *end++ = '\r';
  *end++ = '\n';
  groupLength = size_t(end - group);
  return !now || WriteGroup(journal);
}

bool AppendPath(win::Handle journal, char kind, const char* path, bool now) {
  char body[kLineSize];
  FormatText(body, sizeof body, "%c %s", kind, path);
  return Append(journal, body, now);
}

bool AppendIndexed(win::Handle journal, char kind, int index, const char* path, bool now) {
  char body[kLineSize];
  FormatText(body, sizeof body, "%c %d %s", kind, index, path);
  return Append(journal, body, now);
}

bool ParseHex(const char* p, int digits, uint64_t* value) {
  *value = 0;
  for (int i = 0; i < digits; ++i) {
    const char c = p[i];
    const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (digit < 0) return false;
    *value = (*value << 4) | uint64_t(digit);
  }
  return true;
}

// `digits` hex digits and a space.
bool ReadHex(const char*& p, int digits, uint64_t* value) {
  if (!ParseHex(p, digits, value) || p[digits] != ' ') return false;
  p += digits + 1;
  return true;
}

bool ReadFileTime(const char*& p, win::FileTime* time) {
  uint64_t value = 0;
  if (!ReadHex(p, 16, &value)) return false;
  *time = win::ToFileTime(value);
  return true;
}

// "<index> " of a record, below `limit`.
bool ReadIndex(const char*& p, int limit, int* index) {
  if (*p < '0' || *p > '9') return false;
  *index = 0;
  while (*p >= '0' && *p <= '9') {
    *index = *index * 10 + (*p++ - '0');
    if (*index >= limit) return false;
  }
  return *p++ == ' ';
}

bool ReadPath(const char* p, char* path) {
  size_t length = std::strlen(p);
  if (length == 0 || length >= size_t(kPathSize)) return false;
  std::memcpy(path, p, length + 1);
  return true;
}

// Applies one record's body to the plan; false when it makes no sense.
bool ApplyRecord(const char* p, UpdatePlan* plan) {
  const char kind = *p++;
  // Nothing follows U; only U follows C.
  if (plan->undone || (plan->committed && kind != 'U')) return false;
  if (kind == 'C' || kind == 'U') {
    (kind == 'C' ? plan->committed : plan->undone) = true;
    return *p == '\0';
  }
  if (*p++ != ' ') return false;
  int index = 0;
  uint64_t value = 0;
  switch (kind) {
    case 'F': {
      // A folder is recorded again when an earlier try to make it failed.
      char folder[kPathSize];
      if (!ReadPath(p, folder)) return false;
      for (int i = 0; i < plan->folderCount; ++i) {
        if (std::strcmp(plan->folders[i], folder) == 0) return true;
      }
      if (plan->folderCount == kMaxPlanFolders) return false;
      std::memcpy(plan->folders[plan->folderCount], folder, sizeof folder);
      plan->folderMade[plan->folderCount++] = true;
      return true;
    }
    case 'T': {
      if (!ReadIndex(p, kMaxPlanTargets, &index) || index != plan->targetCount) return false;
      TargetRecord& r = plan->targets[index];
      if (!ReadHex(p, 8, &value)) return false;
      r.attributes = win::Dword(value);
      if (!ReadHex(p, 1, &value)) return false;
      r.timesKnown = value != 0;
      if (!ReadFileTime(p, &r.times[0]) || !ReadFileTime(p, &r.times[1]) ||
          !ReadFileTime(p, &r.times[2]) || !ReadPath(p, r.target)) {
        return false;
      }
      ++plan->targetCount;
      return true;
    }
    case 'S':
      return ReadIndex(p, plan->targetCount, &index) && ReadPath(p, plan->targets[index].staged);
    case 'K':
      return ReadIndex(p, plan->targetCount, &index) &&
             ReadPath(p, plan->targets[index].oldFileName);
    case 'G': return plan->copyFolder[0] == '\0' && ReadPath(p, plan->copyFolder);
    case 'M': {
      // A folder copied again (two items of one name) is merged once.
      char folder[kPathSize];
      if (plan->copyFolder[0] == '\0' || !ReadPath(p, folder)) return false;
      for (int i = 0; i < plan->copiedFolderCount; ++i) {
        if (std::strcmp(plan->copiedFolders[i], folder) == 0) return true;
      }
      if (plan->copiedFolderCount == kMaxCopyLines) return false;
      std::memcpy(plan->copiedFolders[plan->copiedFolderCount++], folder, sizeof folder);
      return true;
    }
    case 'W': {
      if (!ReadIndex(p, plan->targetCount, &index)) return false;
      TargetRecord& r = plan->targets[index];
      uint64_t allTimes = 0, size = 0;
      if (!ReadHex(p, 1, &allTimes) || allTimes > 1 || !ReadHex(p, 16, &size) ||
          !ParseHex(p, 16, &value) || p[16] != '\0') {
        return false;
      }
      r.hasNewTime = allTimes != 0;
      r.written = true;
      r.writtenSize = size;
      r.writtenTime = win::ToFileTime(value);
      r.newTime = r.writtenTime;
      return true;
    }
    default: return false;
  }
}

}  // namespace

void JournalPath(char* path) {
  CopyText(path, kPathSize, updaterState.instPath);
  JoinPath(path, kPathSize, kJournalName);
}

win::Handle CreateJournal() {
  char path[kPathSize];
  JournalPath(path);
  win::Handle journal = OpenForWriting(path, win::kCreateNew);
  if (journal == win::InvalidHandle()) return journal;
  groupLength = 0;
  if (Append(journal, kHeader, true)) return journal;
  DeleteJournal(journal);
  return win::InvalidHandle();
}

bool JournalFolder(win::Handle journal, const char* folder) {
  return AppendPath(journal, 'F', folder, true);
}

bool JournalTarget(win::Handle journal, int index, const TargetRecord& record) {
  char body[kLineSize];
  char* p = body;
  p += FormatText(p, 8, "T %d ", index);
  p = PutHex(p, record.attributes, 8);
  *p++ = ' ';
  *p++ = record.timesKnown ? '1' : '0';
  for (const win::FileTime& time : record.times) {
    *p++ = ' ';
    p = PutHex(p, win::ToUint64(time), 16);
  }
  *p++ = ' ';
  CopyText(p, kPathSize, record.target);
  return Append(journal, body, false);
}

bool JournalStaged(win::Handle journal, int index, const char* staged) {
  return AppendIndexed(journal, 'S', index, staged, true);
}

bool JournalOldFileName(win::Handle journal, int index, const char* oldFileName) {
  return AppendIndexed(journal, 'K', index, oldFileName, false);
}

bool JournalWritten(win::Handle journal, int index, const TargetRecord& record) {
  char body[kLineSize];
  char* p = body + FormatText(body, 16, "W %d %c ", index, record.hasNewTime ? '1' : '0');
  p = PutHex(p, record.writtenSize, 16);
  *p++ = ' ';
  p = PutHex(p, win::ToUint64(record.writtenTime), 16);
  *p = '\0';
  return Append(journal, body, false);
}

bool JournalCopyFolder(win::Handle journal, const char* folder) {
  return AppendPath(journal, 'G', folder, true);
}

bool JournalCopiedFolder(win::Handle journal, const char* folder) {
  return AppendPath(journal, 'M', folder, false);
}

bool JournalCommitted(win::Handle journal) { return Append(journal, "C", true); }

bool JournalUndone(win::Handle journal) { return Append(journal, "U", true); }

bool FlushJournal(win::Handle journal) { return WriteGroup(journal); }

bool DeleteJournal(win::Handle journal) {
  CloseFile(journal);
  char path[kPathSize];
  JournalPath(path);
  return RemoveFile(path) || RemoveFile(path) || AttributesOf(path) == win::kInvalidFileAttributes;
}

// True when a sound line (its checksum fits) starts anywhere in `text`
// after a damaged one: the damage is not a last record cut short.
bool SoundLineFollows(const char* text) {
  for (const char* line = std::strstr(text, "\r\n"); line != nullptr;
       line = std::strstr(line + 2, "\r\n")) {
    const char* start = line + 2;
    const char* end = std::strstr(start, "\r\n");
    if (end == nullptr) return false;
    const char* tab = end - 9;
    uint64_t sum = 0;
    if (tab >= start && *tab == '\t' && ParseHex(tab + 1, 8, &sum) &&
        uint32_t(sum) == Checksum(start, size_t(tab - start))) {
      return true;
    }
  }
  return false;
}

JournalReading ReadJournal(win::Handle journal, UpdatePlan* plan) {
  std::memset(plan, 0, sizeof *plan);
  void* block = nullptr;
  uint32_t size = 0;
  // One byte more for the text's end.
  switch (ReadWholeFile(journal, kMaxJournalSize, 1, &block, &size)) {
    case WholeFileReading::kRead: break;
    case WholeFileReading::kTooLarge: return JournalReading::kNotOurs;
    case WholeFileReading::kFailed: return JournalReading::kFailed;
  }
  auto* text = static_cast<char*>(block);
  bool actOn = true;
  // A power cut can leave zeros where the last record was being written;
  // they fail that line's checksum like any other damage.
  for (uint32_t i = 0; i < size; ++i) {
    if (text[i] == '\0') text[i] = '\x01';
  }
  text[size] = '\0';
  bool headerSeen = false;
  for (char* line = text; actOn;) {
    char* end = std::strstr(line, "\r\n");
    if (end == nullptr) break;  // the last record, cut short (invariant 1)
    *end = '\0';
    char* tab = std::strrchr(line, '\t');
    uint64_t sum = 0;
    const bool sound = tab != nullptr && end - tab == 9 && ParseHex(tab + 1, 8, &sum) &&
                       uint32_t(sum) == Checksum(line, size_t(tab - line));
    if (sound) *tab = '\0';
    if (!sound || (headerSeen ? !ApplyRecord(line, plan) : std::strcmp(line, kHeader) != 0)) {
      // Not ours to act on: a header of another version, a record that makes
      // no sense, or a damaged line that is not the last.
      *end = '\r';
      actOn = !sound && headerSeen && !SoundLineFollows(end);
      break;
    }
    headerSeen = true;
    line = end + 2;
  }
  platform.GlobalFree(text);
  return actOn ? JournalReading::kRead : JournalReading::kNotOurs;
}
