// updpack build-exe: the releases it refuses before building anything, and
// the executables it makes from the updaters it carries and, with --kit,
// links with the Windows builds' kits (built with updpack).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "authoring/pe_resources.h"
#include "authoring/pe_version_info.h"
#include "tests/support/command_output.h"
#include "tests/updpack/updpack_fixture.h"
#include "tools/updpack/executable/executable_limits.h"

namespace {

std::string SourceFolder() {
  std::string source = __FILE__;  // <source>/tests/updpack/build_exe_test.cpp
  for (int up = 0; up < 3; ++up) source = source.substr(0, source.find_last_of('/'));
  return source;
}

// Lines joined with CR LF, as release engineers' editors write them.
std::string IniText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// A release that the updater can run: every key and line below is sound.
std::vector<std::string> SoundIni() {
  return {"[SETUP]",
          "CompanyName=ExampleSoft",
          "GameTitle=Star",
          "GameClass=StarWnd",
          "GameDir=StarJourney",
          "AgreementText=AGREE.TXT",
          "[UPDATE]",
          "UpdateFile00=e,uninst.exe",
          "UpdateFile01=GAME.EXE",
          "UpdateFile02=1,u,data\\script.txt",
          "CopyFile00=1:movie\\op.mpg",
          "CopyFile01=2,extra"};
}

// The sound release with one line replaced (or removed, when `with` is
// empty) or added at the end of its section (when `line` is not found).
std::vector<std::string> Changed(const std::string& line, const std::string& with) {
  std::vector<std::string> lines = SoundIni();
  for (auto it = lines.begin(); it != lines.end(); ++it) {
    if (*it == line) {
      if (with.empty()) {
        lines.erase(it);
      } else {
        *it = with;
      }
      return lines;
    }
  }
  lines.push_back(with);
  return lines;
}

class BuildExeTest : public UpdpackTest {
 protected:
  void MakeRelease(const std::vector<std::string>& ini, bool withIni = true) {
    if (withIni) WriteBytes(Path("release/UPDATE.INI"), IniText(ini));
    WriteBytes(Path("release/game.exe"), "new game");
    WriteBytes(Path("release/data/script.txt"), "new script");
    WriteBytes(Path("release/AGREE.TXT"), "agreement");
  }
};

struct Refusal {
  const char* what;
  std::vector<std::string> ini;
  std::string expected;  // in the messages
};

class BuildExeRefusal : public BuildExeTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(BuildExeRefusal, SaysWhyAndBuildsNothing) {
  MakeRelease(GetParam().ini, !GetParam().ini.empty());
  const Result r = Updpack({"build-exe", "-o", "out/UPDATE.EXE", "release"});
  EXPECT_EQ(1, r.status);
  EXPECT_NE(std::string::npos, r.err.find(GetParam().expected)) << r.err;
  EXPECT_NE(std::string::npos, r.err.find("no updater was built")) << r.err;
  EXPECT_FALSE(fs::exists(Path("out")));
}

const Refusal kRefusals[] = {
    {"NoUpdateIni", {}, "the archive holds no \"UPDATE.INI\""},
    {"NoCompanyName", Changed("CompanyName=ExampleSoft", ""), "[SETUP] has no CompanyName"},
    {"NoGameTitle", Changed("GameTitle=Star", ""), "[SETUP] has no GameTitle"},
    {"NoGameClass", Changed("GameClass=StarWnd", ""), "[SETUP] has no GameClass"},
    {"EmptyGameDir", Changed("GameDir=StarJourney", "GameDir="), "[SETUP] has no GameDir"},
    {"KeyOutsideSetup", Changed("GameDir=StarJourney", ""), "[SETUP] has no GameDir"},
    {"AgreementNotHeld", Changed("AgreementText=AGREE.TXT", "AgreementText=LICENSE.TXT"),
     "AgreementText names the entry \"LICENSE.TXT\", which the archive does not hold"},
    {"TitleNotHeld", Changed("AgreementText=AGREE.TXT", "AgreementTitle=TITLE.TXT"),
     "AgreementTitle names the entry \"TITLE.TXT\""},
    {"PlainLineNotHeld", Changed("UpdateFile01=GAME.EXE", "UpdateFile01=game2.exe"),
     "UpdateFile01 \"game2.exe\" names the entry \"game2.exe\", which the archive does not hold"},
    {"OverwriteLineNotHeld", Changed("", "UpdateFile03=o,doc\\manual.txt"),
     "UpdateFile03 \"o,doc\\manual.txt\" names the entry \"manual.txt\""},
    {"DataLineNotHeld", Changed("", "UpdateFile03=d,save\\config.dat"),
     "names the entry \"config.dat\""},
    {"LineOfOneInstallModeNotHeld",
     Changed("UpdateFile02=1,u,data\\script.txt", "UpdateFile02=2,u,data\\voice.dat"),
     "names the entry \"voice.dat\""},
    {"PathNamesNoFile", Changed("", "UpdateFile03=data\\"), "its path names no file"},
    {"PathTooLong", Changed("", "UpdateFile03=" + std::string(300, 'a')),
     "its path is longer than the updater's 259 bytes"},
    {"PathClimbsOut", Changed("UpdateFile01=GAME.EXE", "UpdateFile01=..\\GAME.EXE"),
     "UpdateFile01 \"..\\GAME.EXE\": its path leaves the installation"},
    {"ExistTestFromTheRoot", Changed("UpdateFile00=e,uninst.exe", "UpdateFile00=e,\\uninst.exe"),
     "UpdateFile00 \"e,\\uninst.exe\": its path leaves the installation"},
    {"PathNamesADevice", Changed("UpdateFile01=GAME.EXE", "UpdateFile01=data\\aux.exe"),
     "its path leaves the installation"},
    {"CopyNameWithAStream", Changed("CopyFile01=2,extra", "CopyFile01=2,extra:x"),
     "CopyFile01 \"2,extra:x\": its name leaves the installation"},
    {"DataFolderClimbsOut", Changed("AgreementText=AGREE.TXT", "DataFolder=..\\save"),
     "[SETUP] DataFolder \"..\\save\" leaves the installation"},
    {"FirstCopyLineWithoutDisc", Changed("CopyFile00=1:movie\\op.mpg", "CopyFile00=movie"),
     "CopyFile00 \"movie\": it names no disc"},
    {"DiscNotADigit", Changed("CopyFile01=2,extra", "CopyFile01=A:extra"),
     "CopyFile01 \"A:extra\": its disc number is not a digit 0-9"},
    {"NothingToDo",
     {"[SETUP]", "CompanyName=A", "GameTitle=B", "GameClass=C", "GameDir=D", "[UPDATE]"},
     "[UPDATE] has neither UpdateFile00 nor CopyFile00"},
};

INSTANTIATE_TEST_SUITE_P(Cases, BuildExeRefusal, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.what); });

// Releases the updater can run pass the checks and reach the kit: a kit
// folder that does not exist is the only complaint.
TEST_F(BuildExeTest, SoundReleasesPassTheChecks) {
  const std::vector<std::vector<std::string>> sound = {
      SoundIni(),
      // Lines for install modes that the check still reads, names in any case,
      // "e" lines that name no entry, a copy line taking the disc before it.
      Changed("UpdateFile01=GAME.EXE", "UpdateFile01=3, O,Data\\Game.Exe"),
      Changed("CopyFile01=2,extra", "CopyFile01=readme.txt"),
      // Lines after a gap in the numbering are never read by the updater.
      Changed("", "UpdateFile05=missing.dat")};
  for (const auto& ini : sound) {
    MakeRelease(ini);
    const Result r = Updpack({"build-exe", "-o", "out.exe", "--kit", Path("no-kit"), "release"});
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find("no updater kit at")) << r.err;
    EXPECT_EQ(std::string::npos, r.err.find("UPDATE.INI")) << r.err;
    EXPECT_FALSE(fs::exists(Path("out.exe")));
  }
}

TEST_F(BuildExeTest, RefusesADamagedArchiveAndBadArguments) {
  WriteBytes(Path("broken.vq2"), std::string("VQ2\0garbage", 11));
  Result r = Updpack({"build-exe", "-o", "out.exe", "--archive", "broken.vq2"});
  EXPECT_EQ(1, r.status);
  EXPECT_NE(std::string::npos, r.err.find("no updater was built")) << r.err;

  MakeRelease(SoundIni());
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"build-exe", "-o", "out.exe"},
        {"build-exe", "-o", "out.exe", "--archive", "a.vq2", "release"},
        {"build-exe", "-o", "out.exe", "--file-version", "1.2.3", "release"},
        {"build-exe", "-o", "out.exe", "--product-version", "1.2.3.65536", "release"},
        {"build-exe", "-o", "out.exe", "--arch", "arm64", "release"}}) {
    r = Updpack(args);
    EXPECT_EQ(2, r.status) << r.err;
  }
  EXPECT_FALSE(fs::exists(Path("out.exe")));
}

// Each architecture takes an archive up to its limit and not a byte more.
TEST(ArchiveSizeLimits, EachArchitectureTakesUpToItsOwnLimit) {
  struct Case {
    const char* arch;
    uint64_t size;
    bool fits;
  };
  const Case cases[] = {{"win32", kWin32LargestArchive, true},
                        {"win32", kWin32LargestArchive + 1, false},
                        {"win64", kWin32LargestArchive + 1, true},
                        {"win64", kWin64LargestArchive, true},
                        {"win64", kWin64LargestArchive + 1, false}};
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(c.fits, ArchiveFits(c.arch, c.size, "", &error)) << c.arch << " " << c.size;
    EXPECT_EQ(c.fits, error.empty()) << error;
  }
}

struct OversizedArchive {
  const char* what;
  std::vector<std::string> arch;  // --arch and its value, or nothing for the default
  uint64_t size;
  const char* advice;
};

void PrintTo(const OversizedArchive& c, std::ostream* out) { *out << c.what; }

class BuildExeOversized : public BuildExeTest,
                          public ::testing::WithParamInterface<OversizedArchive> {};

// An archive file too large for the updater's image (a sparse file, so the
// test needs no gigabytes) is refused by its size with one line that says
// the size, the limit and what to do, before its content is looked at (its
// zeros would be refused as no archive).
TEST_P(BuildExeOversized, IsRefusedByItsSizeBeforeItIsRead) {
  const OversizedArchive& c = GetParam();
  const int fd = open(Path("big.vq2").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_LE(0, fd);
  ASSERT_EQ(0, ftruncate(fd, off_t(c.size)));
  close(fd);
  std::vector<std::string> args = {"build-exe", "-o", "out/UPDATE.EXE", "--archive", "big.vq2"};
  args.insert(args.end(), c.arch.begin(), c.arch.end());
  const Result r = Updpack(args);
  const std::string& err = r.err;
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n')) << err;
  for (const std::string& part :
       {"\"big.vq2\" has " + std::to_string(c.size) + " bytes",
        "than the " + std::to_string(LargestArchiveFor(c.arch.empty() ? "win32" : c.arch[1])),
        std::string("no updater was built"), std::string(c.advice)}) {
    EXPECT_NE(std::string::npos, err.find(part)) << part << " in: " << err;
  }
  EXPECT_FALSE(fs::exists(Path("out")));
}

const OversizedArchive kOversizedArchives[] = {
    {"Win32ByDefault", {}, kWin32LargestArchive + 1, "use --arch win64"},
    {"Win64", {"--arch", "win64"}, kWin64LargestArchive + 1, "split the update"},
};

INSTANTIATE_TEST_SUITE_P(Cases, BuildExeOversized, ::testing::ValuesIn(kOversizedArchives),
                         [](const auto& info) { return std::string(info.param.what); });

struct Target {
  const char* arch;
  uint16_t machine;
  const char* manifestArchitecture;
  const char* objdump;        // binutils' reader for the architecture
  const char* objdumpFormat;  // how it names the file's format
};

class BuildExeFor : public BuildExeTest, public ::testing::WithParamInterface<Target> {
 protected:
  void SetUp() override {
    BuildExeTest::SetUp();
    kit_ = SourceFolder() + "/build/" + GetParam().arch + "/kit";
    ASSERT_TRUE(fs::exists(kit_ + "/link-updater.sh"))
        << "no kit at " << kit_ << " (building updpack builds it)";
  }
  std::string kit_;
};

std::string ResourceData(const Bytes& file, const PeResource& r) {
  return std::string(file.begin() + r.offset, file.begin() + r.offset + r.size);
}

// The updater written into the carried one holds the same resources, byte
// for byte, as the one the kit links with windres and ld from the same
// release, and binutils' own PE reader reads it as sound.
TEST_P(BuildExeFor, WritesTheResourcesTheKitWouldLink) {
  MakeRelease(SoundIni());
  const std::vector<std::string> release = {"--arch",
                                            GetParam().arch,
                                            "--product",
                                            "星の旅路 \"特別版\"",
                                            "--company",
                                            "ExampleSoft",
                                            "--file-version",
                                            "1.10.0.300",
                                            "--product-version",
                                            "2.0.1.0",
                                            "--original-filename",
                                            "STARUPD.EXE",
                                            "release"};
  std::vector<std::string> carried = {"build-exe", "-o", "CARRIED.EXE"};
  std::vector<std::string> linked = {"build-exe", "-o", "LINKED.EXE", "--kit", kit_};
  carried.insert(carried.end(), release.begin(), release.end());
  linked.insert(linked.end(), release.begin(), release.end());
  const Result c = Updpack(carried);
  ASSERT_EQ(0, c.status) << c.err;
  const Result l = Updpack(linked);
  ASSERT_EQ(0, l.status) << l.err;

  const Bytes written = ReadBytes(Path("CARRIED.EXE"));
  const Bytes reference = ReadBytes(Path("LINKED.EXE"));
  PeImage writtenImage, referenceImage;
  std::string error;
  ASSERT_TRUE(ReadPeImage(written.data(), written.size(), &writtenImage, &error)) << error;
  ASSERT_TRUE(ReadPeImage(reference.data(), reference.size(), &referenceImage, &error)) << error;
  EXPECT_EQ(GetParam().machine, writtenImage.machine);
  EXPECT_EQ(referenceImage.resources.size(), writtenImage.resources.size());
  for (const PeResource& expected : referenceImage.resources) {
    const std::string what = expected.type.ToString() + "/" + expected.name.ToString();
    const PeResource* found =
        FindPeResource(writtenImage, expected.type, expected.name, expected.language);
    ASSERT_NE(nullptr, found) << what;
    EXPECT_TRUE(ResourceData(reference, expected) == ResourceData(written, *found)) << what;
  }

  const CommandOutput dump =
      RunCommand(std::string(GetParam().objdump) + " -p " + Path("CARRIED.EXE"));
  ASSERT_EQ(0, dump.status) << dump.text;
  EXPECT_NE(std::string::npos, dump.text.find(GetParam().objdumpFormat)) << dump.text;
  EXPECT_NE(std::string::npos, dump.text.find("Resource Directory [.rsrc]")) << dump.text;
  EXPECT_NE(std::string::npos, dump.text.find(": UPDATE, Value:")) << dump.text;
  EXPECT_EQ(std::string::npos, dump.text.find("orrupt")) << dump.text;
}

// --version names each carried updater by the digest of the stub that this
// tree's Windows build linked.
TEST_P(BuildExeFor, VersionNamesTheCarriedUpdater) {
  const Result version = Updpack({"--version"});
  ASSERT_EQ(0, version.status) << version.err;
  EXPECT_EQ(0u, version.out.find("updpack ")) << version.out;
  const std::string stub = SourceFolder() + "/build/" + GetParam().arch + "/updater-stub.exe";
  const CommandOutput digest = RunCommand("sha256sum " + stub);
  ASSERT_EQ(0, digest.status) << digest.text;
  const std::string line = std::string("carries the ") + GetParam().arch +
                           " updater: " + std::to_string(fs::file_size(stub)) + " bytes, SHA-256 " +
                           digest.text.substr(0, 64);
  EXPECT_NE(std::string::npos, version.out.find(line)) << version.out;
}

TEST_P(BuildExeFor, MakesAReproducibleUpdaterCarryingTheArchive) {
  MakeRelease(SoundIni());
  ASSERT_EQ(0, Updpack({"create", "-o", "update.vq2", "release"}).status);
  const std::vector<std::string> release = {
      "--arch",      GetParam().arch,  "--product", "星の旅路",          "--company",
      "ExampleSoft", "--file-version", "1.1.0.0",   "--product-version", "1.0.1.0"};
  std::vector<std::string> fromFiles = {"build-exe", "-o", "STARUPD.EXE", "release"};
  fromFiles.insert(fromFiles.end(), release.begin(), release.end());
  const Result built = Updpack(fromFiles);
  ASSERT_EQ(0, built.status) << built.err;
  EXPECT_NE(std::string::npos, built.out.find("STARUPD.EXE: updater for")) << built.out;

  const Bytes exe = ReadBytes(Path("STARUPD.EXE"));
  PeImage image;
  std::string error;
  ASSERT_TRUE(ReadPeImage(exe.data(), exe.size(), &image, &error)) << error;
  EXPECT_EQ(GetParam().machine, image.machine);
  const PeResource* archive =
      FindPeResource(image, PeResourceId::Name("UPDATE"), PeResourceId::Number(102));
  ASSERT_NE(nullptr, archive);
  EXPECT_EQ(0x411, archive->language);
  const Bytes packed = ReadBytes(Path("update.vq2"));
  EXPECT_EQ(std::string(packed.begin(), packed.end()), ResourceData(exe, *archive));

  const PeResource* manifest =
      FindPeResource(image, PeResourceId::Number(kPeResourceManifest), PeResourceId::Number(1));
  ASSERT_NE(nullptr, manifest);
  const std::string manifestText = ResourceData(exe, *manifest);
  EXPECT_NE(std::string::npos, manifestText.find("level=\"requireAdministrator\""));
  EXPECT_NE(std::string::npos, manifestText.find(std::string("processorArchitecture=\"") +
                                                 GetParam().manifestArchitecture + "\""));

  const PeResource* version =
      FindPeResource(image, PeResourceId::Number(kPeResourceVersion), PeResourceId::Number(1));
  ASSERT_NE(nullptr, version);
  PeVersionInfo info;
  ASSERT_TRUE(ReadPeVersionInfo(exe.data() + version->offset, version->size, &info, &error));
  const std::pair<const char*, const char*> strings[] = {{"ProductName", "星の旅路"},
                                                         {"CompanyName", "ExampleSoft"},
                                                         {"OriginalFilename", "STARUPD.EXE"},
                                                         {"FileVersion", "1.1.0.0"},
                                                         {"ProductVersion", "1.0.1.0"}};
  for (const auto& s : strings) {
    const std::string* value = FindVersionString(info, s.first);
    ASSERT_NE(nullptr, value) << s.first;
    EXPECT_EQ(s.second, *value) << s.first;
  }
  EXPECT_EQ(1, info.fileVersion[0]);
  EXPECT_EQ(1, info.fileVersion[1]);

  // From the archive, and from the updater itself: the same bytes again.
  for (const char* source : {"update.vq2", "STARUPD.EXE"}) {
    std::vector<std::string> again = {"build-exe", "-o", "again/STARUPD.EXE", "--archive", source};
    again.insert(again.end(), release.begin(), release.end());
    fs::create_directories(Path("again"));
    const Result r = Updpack(again);
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_TRUE(ReadBytes(Path("again/STARUPD.EXE")) == exe) << "built from " << source;
  }
}

TEST_P(BuildExeFor, ListExtractAndVerifyReadTheUpdatersArchive) {
  MakeRelease(SoundIni());
  ASSERT_EQ(
      0, Updpack({"build-exe", "-o", "UPDATE.EXE", "--arch", GetParam().arch, "release"}).status);
  const Result listed = Updpack({"list", "UPDATE.EXE"});
  EXPECT_EQ(0, listed.status) << listed.err;
  EXPECT_NE(std::string::npos, listed.out.find("UPDATE.INI")) << listed.out;
  EXPECT_EQ(0, Updpack({"verify", "UPDATE.EXE"}).status);
  ASSERT_EQ(0, Updpack({"extract", "UPDATE.EXE", "-C", "out", "script.txt"}).status);
  EXPECT_EQ("new script", ReadText(Path("out/script.txt")));

  // The plain updater of the build carries no archive.
  const std::string plain = SourceFolder() + "/build/" + GetParam().arch + "/updater.exe";
  if (fs::exists(plain)) {
    const Result r = Updpack({"list", plain});
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos,
              r.err.find("is an executable without an update archive (resource UPDATE 102)"))
        << r.err;
  }
  WriteBytes(Path("short.exe"), "MZ\x90");
  const Result r = Updpack({"verify", "short.exe"});
  EXPECT_EQ(1, r.status);
  EXPECT_NE(std::string::npos, r.err.find("starts like an executable but cannot be read")) << r.err;
}

// An archive larger than a piece of the reading: copied from an updater
// and compared with the linked executable a piece at a time. A kit that
// links the archive with its last byte changed (and the digest of the
// changed bytes) is caught, and nothing is written.
TEST_P(BuildExeFor, ComparesTheWholeArchiveWithTheLinkedExecutable) {
  MakeRelease(SoundIni());
  std::mt19937 rng(7);
  std::string noise(3 << 20, '\0');
  for (char& c : noise) c = char(rng());
  WriteBytes(Path("release/noise.bin"), noise);
  const std::vector<std::string> arch = {"--arch", GetParam().arch};
  std::vector<std::string> build = {"build-exe", "-o", "UPDATE.EXE", "release"};
  build.insert(build.end(), arch.begin(), arch.end());
  const Result built = Updpack(build);
  ASSERT_EQ(0, built.status) << built.err;
  // Same name, same bytes (the name goes into the version strings).
  std::vector<std::string> again = {"build-exe", "-o", "again/UPDATE.EXE", "--archive",
                                    "UPDATE.EXE"};
  again.insert(again.end(), arch.begin(), arch.end());
  fs::create_directories(Path("again"));
  const Result rebuilt = Updpack(again);
  ASSERT_EQ(0, rebuilt.status) << rebuilt.err;
  EXPECT_TRUE(ReadBytes(Path("again/UPDATE.EXE")) == ReadBytes(Path("UPDATE.EXE")));

  std::string script = R"script(#!/bin/bash
set -euo pipefail
changed="$(mktemp)"
trap 'rm -f "$changed"' EXIT
cp "$1" "$changed"
size=$(stat -c %s "$changed")
last=$(tail -c 1 "$changed" | od -An -tu1 | tr -d ' ')
printf "$(printf '\\%03o' $((last ^ 1)))" |
  dd of="$changed" bs=1 seek=$((size - 1)) conv=notrunc status=none
bash KIT/link-updater.sh "$changed" "${@:2}"
)script";
  script.replace(script.find("KIT"), 3, kit_);
  WriteBytes(Path("lying-kit/link-updater.sh"), script);
  fs::permissions(Path("lying-kit/link-updater.sh"), fs::perms::owner_all);
  std::vector<std::string> lying = {"build-exe",       "-o",        "LIED.EXE",  "--kit",
                                    Path("lying-kit"), "--archive", "UPDATE.EXE"};
  lying.insert(lying.end(), arch.begin(), arch.end());
  const Result refused = Updpack(lying);
  EXPECT_EQ(1, refused.status);
  EXPECT_NE(std::string::npos,
            refused.err.find("updpack: the built updater does not carry the archive unchanged"))
      << refused.err;
  EXPECT_FALSE(fs::exists(Path("LIED.EXE")));
}

INSTANTIATE_TEST_SUITE_P(
    Architectures, BuildExeFor,
    ::testing::Values(Target{"win32", kPeMachineI386, "X86", "i686-w64-mingw32-objdump",
                             "file format pei-i386"},
                      Target{"win64", kPeMachineAmd64, "amd64", "x86_64-w64-mingw32-objdump",
                             "file format pei-x86-64"}),
    [](const auto& info) { return std::string(info.param.arch); });

}  // namespace
