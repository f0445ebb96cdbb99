// The update run on Windows (under Wine): RunUpdate over a plain test
// dialog with the real SHFileOperationA and GetDriveTypeA, copying a file and a folder from a
// CD-ROM drive, and answering the prompt for a missing disc from a second thread; and an entry of
// 48 MiB, compressed and scrambled, written piece by piece with the real file functions (the
// process's peak working set is printed).
//
// Usage: update_run_wine.exe <work folder> <CD drive letter> <CD folder>
//   work folder: an empty folder for the installation;
//   CD drive letter: a drive of type CD-ROM holding DISK1.CHK, readme.txt
//   (read-only) and movie\op.mpg;
//   CD folder: the same folder by another, writable path (to put disc 2 in).
// Prints one line per check and returns 0 when all passed.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive/archive_directory.h"
#include "authoring/archive_writer.h"
#include "authoring/token_writer.h"
#include "core/platform.h"
#include "core/system_functions.h"
#include "core/text_format.h"
#include "core/updater_state.h"
#include "platform/windows/windows_platform.h"
#include "texts.h"
#include "wizard/update_run.h"
#include "wizard/wizard_controls.h"

namespace {

int failures = 0;

// Prints the check; a failed one with `detail` (code page 932 bytes).
void Check(bool ok, const char* what, const std::string& detail = "") {
  std::printf("%s: %s", ok ? "ok" : "FAILED", what);
  if (!ok && !detail.empty()) std::printf(" -- %s", detail.c_str());
  std::printf("\n");
  if (!ok) ++failures;
}

std::string Folder;      // the work folder
std::string CdDrive;     // "R:"
std::string CdWritable;  // the CD's folder by a writable path

std::string ReadWhole(const std::string& path) {
  std::string content;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) content.append(buffer, n);
    std::fclose(f);
  }
  return content;
}

void WriteWhole(const std::string& path, const std::string& content) {
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
  }
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// ---- The archive of replacement files ----

std::vector<uint8_t> archiveImage;

// A 64-bit FNV-1a digest, carried on from `digest`.
uint64_t Fnv(uint64_t digest, const uint8_t* bytes, size_t size) {
  for (size_t i = 0; i < size; ++i) digest = (digest ^ bytes[i]) * 0x100000001B3ull;
  return digest;
}
constexpr uint64_t kFnvStart = 0xCBF29CE484222325ull;

constexpr uint32_t kBigSize = 48u << 20;
uint64_t bigDigest;  // of the big entry's content

// A stream of kBigSize bytes: literal runs and matches reaching back as far
// as 8192 bytes. Its content is followed in a ring of the last bytes, and
// only its digest is kept.
std::vector<uint8_t> BigStream() {
  TokenWriter w;
  std::vector<uint8_t> ring(1 << 16);
  size_t made = 0;
  uint32_t x = 1;
  auto next = [&] { return x = x * 1664525u + 1013904223u; };
  bigDigest = kFnvStart;
  auto put = [&](uint8_t b) {
    ring[made++ % ring.size()] = b;
    bigDigest = Fnv(bigDigest, &b, 1);
  };
  while (made < kBigSize) {
    const uint32_t r = next();
    const uint32_t length = 3 + (r >> 4) % 280;
    if (made < 8192 || r >> 30 == 0 || length > kBigSize - made) {
      const uint8_t b = uint8_t(next() >> 24);
      w.Literal(b);
      put(b);
      continue;
    }
    const uint32_t distance = 1 + (r >> 12) % 8192;
    w.LongMatch(distance, length);
    for (uint32_t i = 0; i < length; ++i) put(ring[(made - distance) % ring.size()]);
  }
  return w.Finish();
}

bool OpenTestArchive() {
  ArchiveItem item;
  item.name = "new.dat";
  item.data = {'n', 'e', 'w', ' ', 'd', 'a', 't', 'a'};
  item.fileTime = win::ToFileTime(0x01D9ABCD12345670ull);
  ArchiveItem big;
  big.name = "big.dat";
  big.data = BigStream();
  big.precompressed = true;
  big.unpackedSize = kBigSize;
  big.scramble = true;
  big.fileTime = item.fileTime;
  std::string error;
  if (!BuildArchive({item, big}, ArchiveOptions{}, &archiveImage, &error)) return false;
  updaterState.archiveImage = archiveImage.data();
  updaterState.archiveImageSize = uint32_t(archiveImage.size());
  updaterState.archiveDirectory = OpenArchive();
  if (updaterState.archiveDirectory == nullptr) return false;
  updaterState.archiveEntries = updaterState.archiveDirectory->entries;
  return true;
}

// ---- Recording what the run asks of the system ----

struct ShellCall {
  std::string from, to;
  unsigned flags;
};
std::vector<ShellCall> shellCalls;
decltype(SystemFunctionTable::SHFileOperationA) realShellCopy;

int WINAPI_CC RecordShellCopy(win::ShFileOp* op) {
  shellCalls.push_back({op->pFrom, op->pTo, op->fFlags});
  return realShellCopy(op);
}

bool endedByRun;
INT_PTR endResult;
decltype(PlatformOperations::EndDialog) realEndDialog;

win::Bool WINAPI_CC RecordEndDialog(win::Hwnd dialog, win::IntPtr result) {
  endedByRun = true;
  endResult = result;
  return realEndDialog(dialog, result);
}

// ---- The prompt for a missing disc, answered from a second thread ----

struct PromptAnswer {
  int button;            // IDOK or IDCANCEL
  bool insertDisc2;      // put disc 2 in before pressing OK
  std::string seenText;  // the box's text
  bool seen;
};
PromptAnswer prompt;

DWORD WINAPI AnswerPrompt(void*) {
  for (int wait = 0; wait < 600; ++wait) {  // up to 30 seconds
    HWND box = FindWindowA("#32770", updaterState.caption);
    if (box != nullptr) {
      char text[1024] = "";
      GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
      prompt.seenText = text;
      prompt.seen = true;
      if (prompt.insertDisc2) {
        WriteWhole(CdWritable + "\\DISK2.CHK", "disc 2");
        WriteWhole(CdWritable + "\\extra.dat", "extra");
      }
      PostMessageA(box, WM_COMMAND, prompt.button, 0);
      return 0;
    }
    Sleep(50);
  }
  return 1;
}

// ---- The test dialog: controls Next, Cancel, Back and the info line ----

struct Outcome {
  INT_PTR result;
  std::string info, next;
  bool nextEnabled, backEnabled, cancelEnabled;
};
Outcome outcome;

std::string ControlText(HWND dialog, int id) {
  char text[1024] = "";
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

INT_PTR CALLBACK TestDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      updaterState.ownerWindow = dialog;
      PostMessageA(dialog, WM_APP, 0, 0);  // run once the dialog loop runs
      return TRUE;
    case WM_APP:
      RunUpdate(dialog);
      outcome.info = ControlText(dialog, kIdInfo);
      outcome.next = ControlText(dialog, kIdNext);
      outcome.nextEnabled = IsWindowEnabled(GetDlgItem(dialog, kIdNext));
      outcome.backEnabled = IsWindowEnabled(GetDlgItem(dialog, kIdBack));
      outcome.cancelEnabled = IsWindowEnabled(GetDlgItem(dialog, kIdCancel));
      if (!endedByRun) EndDialog(dialog, 100);  // the run left the wizard open
      return TRUE;
  }
  return FALSE;
}

// A dialog template in memory: DLGTEMPLATE, then the items, each aligned to
// four bytes.
class TemplateBuilder {
 public:
  void Dialog(DWORD style, short cx, short cy, const wchar_t* title, WORD items) {
    Align();
    DLGTEMPLATE t{};
    t.style = style;
    t.cdit = items;
    t.cx = cx;
    t.cy = cy;
    Append(&t, sizeof t);
    Word(0);  // no menu
    Word(0);  // the dialog class
    Text(title);
  }
  void Item(WORD id, WORD classAtom, const wchar_t* text, DWORD style, short x, short y, short cx,
            short cy) {
    Align();
    DLGITEMTEMPLATE item{};
    item.style = style | WS_CHILD | WS_VISIBLE;
    item.x = x;
    item.y = y;
    item.cx = cx;
    item.cy = cy;
    item.id = id;
    Append(&item, sizeof item);
    Word(0xFFFF);
    Word(classAtom);
    Text(text);
    Word(0);  // no creation data
  }
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(bytes_.data()); }

 private:
  void Append(const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    bytes_.insert(bytes_.end(), b, b + n);
  }
  void Word(WORD w) { Append(&w, sizeof w); }
  void Text(const wchar_t* text) { Append(text, (wcslen(text) + 1) * sizeof(wchar_t)); }
  void Align() {
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
  }
  std::vector<uint8_t> bytes_;
};

INT_PTR RunTestDialog() {
  TemplateBuilder t;
  t.Dialog(WS_POPUP | WS_CAPTION | DS_MODALFRAME, 364, 93, L"RunUpdate test dialog", 4);
  t.Item(kIdNext, 0x0080, L"Next", BS_DEFPUSHBUTTON | WS_TABSTOP, 261, 72, 44, 14);
  t.Item(kIdCancel, 0x0080, L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, 313, 72, 44, 14);
  t.Item(kIdBack, 0x0080, L"Back", BS_PUSHBUTTON | WS_TABSTOP, 217, 72, 44, 14);
  t.Item(kIdInfo, 0x0082, L"Info", SS_LEFT | WS_GROUP, 16, 16, 331, 29);
  endedByRun = false;
  endResult = 0;
  shellCalls.clear();
  outcome = Outcome{};
  outcome.result =
      DialogBoxIndirectParamA(GetModuleHandleA(nullptr), t.Get(), nullptr, TestDialogProc, 0);
  return outcome.result;
}

// Makes `text` the UPDATE.INI that the run reads, as the updater keeps it
// from its archive.
void UseUpdateIni(const std::string& text) {
  UpdaterState& s = updaterState;
  if (s.updateIniText != nullptr) GlobalFree(s.updateIniText);
  s.updateIniText = static_cast<char*>(GlobalAlloc(GMEM_FIXED, text.size() + 1));
  std::memcpy(s.updateIniText, text.data(), text.size());
  s.updateIniSize = DWORD(text.size());
}

// Runs one update with `ini` as section [UPDATE], answering the disc
// prompt (when one comes) as `answer` says.
void RunScenario(const std::string& ini, const PromptAnswer& answer) {
  UseUpdateIni("[UPDATE]\r\n" + ini);
  prompt = answer;
  HANDLE thread = CreateThread(nullptr, 0, AnswerPrompt, nullptr, 0, nullptr);
  RunTestDialog();
  if (!prompt.seen) TerminateThread(thread, 2);  // no box came
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

std::string Format(const char* format, const char* text, int number) {
  char out[1024];
  FormatText(out, sizeof out, format, text, number);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr,
                 "usage: update_run_wine.exe <work folder> <CD drive letter> <CD folder>\n");
    return 2;
  }
  Folder = argv[1];
  CdDrive = std::string(1, argv[2][0]) + ":";
  CdWritable = argv[3];

  InstallWindowsPlatform();
  Check(ResolveSystemFunctions(PlatformLoader()) == 1, "system functions resolved");
  Check(GetDriveTypeA((CdDrive + "\\").c_str()) == DRIVE_CDROM, "the CD drive is a CD-ROM drive");
  Check(OpenTestArchive(), "archive opened");
  realShellCopy = systemFunctions.SHFileOperationA;
  systemFunctions.SHFileOperationA = RecordShellCopy;
  realEndDialog = platform.EndDialog;
  platform.EndDialog = RecordEndDialog;

  UpdaterState& s = updaterState;
  const std::string game = Folder + "\\game";
  CreateDirectoryA(game.c_str(), nullptr);
  CopyText(s.caption, sizeof s.caption, "RunUpdate Wine test");
  CopyText(s.modeWord, sizeof s.modeWord, kModeWordUpdate);
  CopyText(s.gameTitle, sizeof s.gameTitle, "Game");
  CopyText(s.instPath, sizeof s.instPath, game.c_str());
  CopyText(s.dataPath, sizeof s.dataPath, game.c_str());
  CopyText(s.diskCheckFiles[1], kPathSize, "DISK1.CHK");
  CopyText(s.diskCheckFiles[2], kPathSize, "DISK2.CHK");
  CopyText(s.diskCheckFiles[3], kPathSize, "DISK3.CHK");
  s.instMode = 1;
  s.quietKeys = 1;

  // 0. No lines at all: an error box over the dialog, which ends with -1.
  //    (A dialog that could not be shown ends with -1 without the run.)
  RunScenario("", PromptAnswer{IDOK, false, "", false});
  if (outcome.result == -1 && !endedByRun) {
    std::printf("FAILED: the test dialog could not be created (no display?)\n");
    return 1;
  }
  Check(prompt.seen && prompt.seenText == kMsgNoUpdateLines, "an empty section is reported",
        prompt.seenText);
  Check(endedByRun && outcome.result == -1, "the run ended the dialog with -1");

  // 1. A file and a folder from disc 1, then disc 2, which is put in when
  //    the prompt asks for it (OK).
  RunScenario(
      "UpdateFile00=new.dat\r\nCopyFile00=1:readme.txt\r\nCopyFile01=movie\r\n"
      "CopyFile02=2:extra.dat\r\n",
      PromptAnswer{IDOK, true, "", false});
  Check(outcome.result == 100 && !endedByRun, "the run completed",
        "result " + std::to_string(outcome.result));
  Check(outcome.next == kButtonFinish && outcome.nextEnabled && !outcome.backEnabled &&
            !outcome.cancelEnabled,
        "Next reads the finish text and alone is enabled");
  Check(ReadWhole(game + "\\new.dat") == "new data", "the archive entry was written");
  Check(ReadWhole(game + "\\readme.txt") == "read me", "the file was copied");
  DWORD attributes = GetFileAttributesA((game + "\\readme.txt").c_str());
  Check(attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_READONLY),
        "the copied file is not read-only", std::to_string(attributes));
  Check(ReadWhole(game + "\\movie\\op.mpg") == "opening",
        "the folder was copied into the installation");
  Check(ReadWhole(game + "\\extra.dat") == "extra", "the file of disc 2 was copied after OK");
  Check(prompt.seen && prompt.seenText == Format(kMsgInsertDisc, "Game", 2),
        "the prompt asked for disc 2", prompt.seenText);
  // The copies are staged with the update items: the files beside their
  // places (new.dat took the first name), the folder into the run's copy
  // folder, which is merged into the installation after the replace.
  const std::vector<ShellCall> expectedCalls = {
      {CdDrive + "\\readme.txt", game + "\\~upd1.tmp", 528},
      {CdDrive + "\\movie", game + "\\~upd2.tmp", 1552},
      {CdDrive + "\\extra.dat", game + "\\~upd3.tmp", 528},
      {game + "\\~upd2.tmp\\movie", game, 1552}};
  bool callsMatch = shellCalls.size() == expectedCalls.size();
  for (size_t i = 0; callsMatch && i < expectedCalls.size(); ++i) {
    callsMatch = shellCalls[i].from == expectedCalls[i].from &&
                 shellCalls[i].to == expectedCalls[i].to &&
                 shellCalls[i].flags == expectedCalls[i].flags;
  }
  Check(callsMatch,
        "the shell copied a file (528), a folder into the copy folder (1552) and "
        "a file (528), then merged the folder into the install folder (1552)");

  // 2. Disc 3 never comes: Cancel ends the run with -1.
  RunScenario("CopyFile00=3:more.dat\r\n", PromptAnswer{IDCANCEL, false, "", false});
  Check(prompt.seen && prompt.seenText == Format(kMsgInsertDisc, "Game", 3),
        "the prompt asked for disc 3", prompt.seenText);
  Check(endedByRun && outcome.result == -1, "Cancel ended the dialog with -1",
        "result " + std::to_string(outcome.result));
  Check(shellCalls.empty() && !Exists(game + "\\more.dat"), "nothing was copied");

  // 3. A compressed, scrambled entry of 48 MiB: unscrambled and decoded a
  //    piece at a time into its file.
  PROCESS_MEMORY_COUNTERS before{};
  GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);
  RunScenario("UpdateFile00=big.dat\r\n", PromptAnswer{IDOK, false, "", false});
  PROCESS_MEMORY_COUNTERS after{};
  GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after);
  Check(outcome.result == 100 && !endedByRun, "the run with the large entry completed",
        "result " + std::to_string(outcome.result));
  uint64_t written = kFnvStart;
  size_t writtenSize = 0;
  if (FILE* f = std::fopen((game + "\\big.dat").c_str(), "rb")) {
    std::vector<uint8_t> buffer(1 << 20);
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), f)) > 0) {
      written = Fnv(written, buffer.data(), n);
      writtenSize += n;
    }
    std::fclose(f);
  }
  Check(writtenSize == kBigSize && written == bigDigest, "the large entry was written whole",
        std::to_string(writtenSize) + " bytes");
  std::printf(
      "figure: archive image %.1f MiB; peak working set %.1f MiB before the run, "
      "%.1f MiB after it\n",
      archiveImage.size() / 1048576.0, before.PeakWorkingSetSize / 1048576.0,
      after.PeakWorkingSetSize / 1048576.0);

  CloseArchive(updaterState.archiveDirectory);
  std::printf("%s\n", failures == 0 ? "ALL PASSED" : "SOME FAILED");
  return failures == 0 ? 0 : 1;
}
