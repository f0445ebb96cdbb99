// Applying an update of about 150 MB (scenario text, incompressible data and
// files that mix both) with the update run, against copying the same files
// with cp followed by sync. Prints apply_vs_copy (the apply's time over the
// copy's) and apply_peak_mb (the process's peak resident memory while it
// applies, the archive image included). A program run on demand: nothing
// fails on a figure.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "archive/archive_directory.h"
#include "authoring/archive_writer.h"
#include "core/platform.h"
#include "core/system_functions.h"
#include "core/text_format.h"
#include "core/updater_state.h"
#include "host/codepage.h"
#include "platform/posix/desktop_standin.h"
#include "platform/posix/drive_map.h"
#include "platform/posix/posix_functions.h"
#include "sample_data.h"
#include "texts.h"
#include "wizard/update_run.h"
#include "wizard/wizard_controls.h"

namespace {

constexpr size_t kMiB = 1 << 20;

struct File {
  std::string name;
  std::vector<uint8_t> bytes;
};

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 generator(seed);
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i + 4 <= size; i += 4) {
    uint32_t v = generator();
    std::memcpy(&bytes[i], &v, 4);
  }
  return bytes;
}

// 150 MiB in 12 files: 50 MiB of text, 50 MiB of random bytes, and ten
// files of 5 MiB that alternate text and random blocks of 256 KiB.
std::vector<File> UpdateFiles() {
  std::vector<File> files;
  const std::vector<uint8_t> text = ScriptTextSample(50 * kMiB).bytes;
  files.push_back({"script.txt", text});
  files.push_back({"movie.dat", RandomBytes(50 * kMiB, 1)});
  const std::vector<uint8_t> noise = RandomBytes(5 * kMiB, 2);
  for (int i = 0; i < 10; ++i) {
    std::vector<uint8_t> mix(5 * kMiB);
    for (size_t at = 0; at < mix.size(); at += 256 * 1024) {
      const std::vector<uint8_t>& from = (at / (256 * 1024)) % 2 == 0 ? text : noise;
      std::memcpy(&mix[at], &from[(at + size_t(i) * 4096) % (from.size() - 256 * 1024)],
                  256 * 1024);
    }
    files.push_back({"mix" + std::to_string(i) + ".pak", mix});
  }
  return files;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The installation's old files, small.
void InstallOld(const std::string& game, const std::vector<File>& files) {
  std::system(("rm -rf '" + game + "' && mkdir -p '" + game + "'").c_str());
  for (const File& f : files) WriteFile(game + "/" + f.name, {'o', 'l', 'd'});
  sync();
}

// The wizard back on its confirmation page, for the next run.
void ResetDialog(win::Hwnd dialog) {
  for (int id : {kIdNext, kIdCancel}) FindStandinControl(dialog, id)->enabled = true;
  FindStandinControl(dialog, kIdBack)->enabled = false;
}

double Seconds(const std::chrono::steady_clock::time_point& start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Peak resident memory since the last reset, in MiB.
void ResetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }
double PeakMemoryMb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  }
  return 0;
}

}  // namespace

int main() {
  const char* base = std::getenv("TMPDIR");
  std::string root = std::string(base && *base ? base : "/tmp") + "/update-apply-bench-XXXXXX";
  if (mkdtemp(root.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  std::vector<File> files = UpdateFiles();
  size_t total = 0;
  for (const File& f : files) total += f.bytes.size();

  // The archive: every entry stored as it is.
  std::vector<ArchiveItem> items;
  std::string ini = "[UPDATE]\r\n";
  for (size_t i = 0; i < files.size(); ++i) {
    ArchiveItem item;
    item.name = files[i].name;
    item.data = files[i].bytes;
    item.fileTime = win::ToFileTime(0x01D9ABCD12345670ull);
    items.push_back(std::move(item));
    char key[32];
    std::snprintf(key, sizeof key, "UpdateFile%02zu=", i);
    ini += key + files[i].name + "\r\n";
  }
  std::vector<uint8_t> image;
  std::string error;
  if (!BuildArchive(items, ArchiveOptions{}, &image, &error)) {
    std::fprintf(stderr, "archive: %s\n", error.c_str());
    return 1;
  }
  items.clear();

  InstallPosixPlatform();
  ClearDriveMap();
  SetDriveMapping('C', root, win::kDriveFixed);
  if (!ResolveSystemFunctions(PlatformLoader())) return 1;
  mkdir((root + "/source").c_str(), 0777);
  for (File& f : files) {
    WriteFile(root + "/source/" + f.name, f.bytes);
    std::vector<uint8_t>().swap(f.bytes);  // only the archive holds the content now
  }

  UpdaterState& s = updaterState;
  s.archiveImage = image.data();
  s.archiveImageSize = uint32_t(image.size());
  s.archiveDirectory = OpenArchive();
  s.archiveEntries = s.archiveDirectory->entries;
  CopyText(s.instPath, kPathSize, "C:\\game");
  CopyText(s.dataPath, kPathSize, "C:\\game");
  // The run reads UPDATE.INI from the bytes the updater keeps of it.
  s.updateIniText = ini.data();
  s.updateIniSize = uint32_t(ini.size());
  CopyText(s.modeWord, kLongTextSize, kModeWordUpdate);
  s.quietKeys = 1;
  SetStandinEchoStream(nullptr);
  win::Hwnd dialog = CreateStandinDialog("bench", {{kIdNext, "button", "next"},
                                                   {kIdCancel, "button", "cancel"},
                                                   {kIdBack, "button", "back"},
                                                   {kIdInfo, "static", ""}});
  s.ownerWindow = dialog;

  // Each is timed as the fastest of three, taken in turn, so that a moment
  // when the machine is busy elsewhere does not decide the figure.
  double applySeconds = 1e9, copySeconds = 1e9, peakMb = 0;
  bool applied = true;
  int copied = 0;
  for (int round = 0; round < 3; ++round) {
    InstallOld(root + "/game", files);
    ResetDialog(dialog);
    ResetPeakMemory();
    auto start = std::chrono::steady_clock::now();
    RunUpdate(dialog);
    applySeconds = std::min(applySeconds, Seconds(start));
    peakMb = std::max(peakMb, PeakMemoryMb());
    applied = applied && !StandinDialogEnded(dialog, nullptr) &&
              std::system(("cmp -s '" + root + "/source/movie.dat' '" + root +
                           "/game/movie.dat'").c_str()) == 0;

    InstallOld(root + "/game", files);
    start = std::chrono::steady_clock::now();
    copied |= std::system(("cp -f '" + root + "/source/'* '" + root + "/game/' && sync").c_str());
    copySeconds = std::min(copySeconds, Seconds(start));
  }

  std::system(("rm -rf '" + root + "'").c_str());
  if (!applied || copied != 0) {
    std::fprintf(stderr, "the update or the copy failed\n");
    return 1;
  }
  std::printf("update: %zu files, %.1f MiB (text, random, mixed), entries stored\n",
              files.size(), double(total) / kMiB);
  std::printf("apply_seconds: %.3f (fastest of 3)\ncopy_seconds: %.3f (cp, then sync; fastest of 3)\n",
              applySeconds, copySeconds);
  std::printf("apply_vs_copy: %.2f\napply_peak_mb: %.1f\n", applySeconds / copySeconds, peakMb);
  return 0;
}
