// Applying updates with the update run, against copying the same files with
// cp followed by sync: about 150 MB stored as it is (scenario text,
// incompressible data and files that mix both), and one compressed file of
// 1 GiB that the run decodes on the way. Prints, per update, apply_vs_copy
// (the apply's time over the copy's), apply_peak_mb (the process's peak
// resident memory while it applies, the archive image included) and
// apply_added_mb (that peak less what was resident before the run: the
// image was already). A program run on demand: nothing fails on a figure.
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
#include "authoring/token_writer.h"
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
  std::vector<uint8_t> bytes;  // empty once the source file holds them
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

// Resident memory now (VmRSS) and at its peak since the last reset (VmHWM),
// in MiB.
void ResetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }
double StatusMb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::atof(line.c_str() + std::strlen(field)) / 1024.0;
  }
  return 0;
}
double PeakMemoryMb() { return StatusMb("VmHWM:"); }
double ResidentMb() { return StatusMb("VmRSS:"); }

// One game file of `size` bytes, written to `path` as it is made, and its
// compressed stream: scenario text taken in runs, with matches of the text
// before it at every distance. Only the stream is held.
std::vector<uint8_t> MakeCompressedFile(const std::string& path, size_t size) {
  const std::vector<uint8_t> text = ScriptTextSample(4 * kMiB).bytes;
  std::mt19937 random(7);
  auto pick = [&](uint32_t low, uint32_t high) {
    return std::uniform_int_distribution<uint32_t>(low, high)(random);
  };
  TokenWriter writer;
  // The output's last bytes, for the matches, and the piece not yet written.
  constexpr size_t kRing = 1 << 16;
  std::vector<uint8_t> ring(kRing);
  std::vector<uint8_t> piece;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  size_t made = 0, textAt = 0;
  auto put = [&](uint8_t b) {
    ring[made++ % kRing] = b;
    piece.push_back(b);
  };
  while (made < size) {
    if (made < 8192 || pick(0, 2) == 0) {
      for (uint32_t n = std::min<size_t>(pick(1, 30), size - made); n > 0; --n) {
        const uint8_t b = text[textAt++ % text.size()];
        writer.Literal(b);
        put(b);
      }
    } else {
      const uint32_t distance = pick(0, 3) == 0 ? pick(1, 64) : pick(1, 8192);
      const uint32_t length =
          uint32_t(std::min<size_t>(pick(0, 4) == 0 ? pick(27, 282) : pick(3, 26), size - made));
      if (length < 3) continue;
      writer.LongMatch(distance, length);
      for (uint32_t j = 0; j < length; ++j) put(ring[(made - distance) % kRing]);
    }
    if (piece.size() >= kMiB) {
      out.write(reinterpret_cast<const char*>(piece.data()), std::streamsize(piece.size()));
      piece.clear();
    }
  }
  out.write(reinterpret_cast<const char*>(piece.data()), std::streamsize(piece.size()));
  return writer.Finish();
}

struct Figures {
  double applySeconds = 1e9, copySeconds = 1e9, peakMb = 0, addedMb = 0;
};

// Applies the update of `files` from `image` three times, and copies the
// files from `root`/source three times, in turn, so that a moment when the
// machine is busy elsewhere does not decide the figures. The source files
// must already be in place.
bool Measure(const std::string& root, const std::vector<File>& files, std::vector<uint8_t>& image,
             win::Hwnd dialog, Figures* f) {
  std::string ini = "[UPDATE]\r\n";
  for (size_t i = 0; i < files.size(); ++i) {
    char key[32];
    std::snprintf(key, sizeof key, "UpdateFile%02zu=", i);
    ini += key + files[i].name + "\r\n";
  }
  UpdaterState& s = updaterState;
  s.archiveImage = image.data();
  s.archiveImageSize = uint32_t(image.size());
  s.archiveDirectory = OpenArchive();
  if (s.archiveDirectory == nullptr) return false;
  s.archiveEntries = s.archiveDirectory->entries;
  // The run reads UPDATE.INI from the bytes the updater keeps of it.
  s.updateIniText = ini.data();
  s.updateIniSize = uint32_t(ini.size());

  bool applied = true;
  int copied = 0;
  for (int round = 0; round < 3; ++round) {
    InstallOld(root + "/game", files);
    ResetDialog(dialog);
    ResetPeakMemory();
    const double before = ResidentMb();
    auto start = std::chrono::steady_clock::now();
    RunUpdate(dialog);
    f->applySeconds = std::min(f->applySeconds, Seconds(start));
    f->peakMb = std::max(f->peakMb, PeakMemoryMb());
    f->addedMb = std::max(f->addedMb, PeakMemoryMb() - before);
    applied = applied && !StandinDialogEnded(dialog, nullptr);
    for (const File& file : files) {
      applied = applied && std::system(("cmp -s '" + root + "/source/" + file.name + "' '" + root +
                                        "/game/" + file.name + "'")
                                           .c_str()) == 0;
    }

    InstallOld(root + "/game", files);
    start = std::chrono::steady_clock::now();
    copied |= std::system(("cp -f '" + root + "/source/'* '" + root + "/game/' && sync").c_str());
    f->copySeconds = std::min(f->copySeconds, Seconds(start));
  }
  CloseArchive(s.archiveDirectory);
  s.archiveDirectory = nullptr;
  return applied && copied == 0;
}

void Print(const char* prefix, const Figures& f) {
  std::printf("%sapply_seconds: %.3f (fastest of 3)\n", prefix, f.applySeconds);
  std::printf("%scopy_seconds: %.3f (cp, then sync; fastest of 3)\n", prefix, f.copySeconds);
  std::printf("%sapply_vs_copy: %.2f\n", prefix, f.applySeconds / f.copySeconds);
  std::printf("%sapply_peak_mb: %.1f\n", prefix, f.peakMb);
  std::printf("%sapply_added_mb: %.1f\n", prefix, f.addedMb);
}

}  // namespace

int main(int argc, char** argv) {
  // The compressed file's size in MiB: 1024 unless given.
  const size_t compressedMiB = argc > 1 ? size_t(std::atol(argv[1])) : 1024;
  const char* base = std::getenv("TMPDIR");
  std::string root = std::string(base && *base ? base : "/tmp") + "/update-apply-bench-XXXXXX";
  if (mkdtemp(root.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  mkdir((root + "/source").c_str(), 0777);
  InstallPosixPlatform();
  ClearDriveMap();
  SetDriveMapping('C', root, win::kDriveFixed);
  if (!ResolveSystemFunctions(PlatformLoader())) return 1;

  UpdaterState& s = updaterState;
  CopyText(s.instPath, kPathSize, "C:\\game");
  CopyText(s.dataPath, kPathSize, "C:\\game");
  CopyText(s.modeWord, kLongTextSize, kModeWordUpdate);
  s.quietKeys = 1;
  SetStandinEchoStream(nullptr);
  win::Hwnd dialog = CreateStandinDialog("bench", {{kIdNext, "button", "next"},
                                                   {kIdCancel, "button", "cancel"},
                                                   {kIdBack, "button", "back"},
                                                   {kIdInfo, "static", ""}});
  s.ownerWindow = dialog;
  const win::FileTime time = win::ToFileTime(0x01D9ABCD12345670ull);
  std::string error;

  // About 150 MB, every entry stored as it is.
  std::vector<File> files = UpdateFiles();
  size_t total = 0;
  std::vector<ArchiveItem> items;
  for (File& f : files) {
    total += f.bytes.size();
    WriteFile(root + "/source/" + f.name, f.bytes);
    ArchiveItem item;
    item.name = f.name;
    item.data = std::move(f.bytes);  // only the archive holds the content now
    item.fileTime = time;
    items.push_back(std::move(item));
  }
  std::vector<uint8_t> image;
  if (!BuildArchive(items, ArchiveOptions{}, &image, &error)) {
    std::fprintf(stderr, "archive: %s\n", error.c_str());
    return 1;
  }
  items.clear();
  Figures stored;
  const bool storedApplied = Measure(root, files, image, dialog, &stored);
  std::vector<uint8_t>().swap(image);
  std::system(("rm -f '" + root + "/source/'* '" + root + "/game/'*").c_str());

  // One file of 1 GiB, compressed and scrambled: decoded and unscrambled on the way.
  const std::vector<File> big = {{"bigdata.pak", {}}};
  ArchiveItem item;
  item.name = big[0].name;
  item.data = MakeCompressedFile(root + "/source/" + big[0].name, compressedMiB * kMiB);
  item.unpackedSize = uint32_t(compressedMiB * kMiB);
  item.precompressed = true;
  item.scramble = true;
  item.fileTime = time;
  const size_t streamSize = item.data.size();
  items.push_back(std::move(item));
  if (!BuildArchive(items, ArchiveOptions{}, &image, &error)) {
    std::fprintf(stderr, "archive: %s\n", error.c_str());
    return 1;
  }
  items.clear();
  items.shrink_to_fit();
  Figures compressed;
  const bool compressedApplied = Measure(root, big, image, dialog, &compressed);

  std::system(("rm -rf '" + root + "'").c_str());
  if (!storedApplied || !compressedApplied) {
    std::fprintf(stderr, "an update or a copy failed\n");
    return 1;
  }
  std::printf("update: %zu files, %.1f MiB (text, random, mixed), entries stored\n", files.size(),
              double(total) / kMiB);
  Print("", stored);
  std::printf("compressed update: 1 file of %zu MiB, a stream of %.1f MiB, scrambled\n",
              compressedMiB, double(streamSize) / kMiB);
  Print("compressed_", compressed);
  return 0;
}
