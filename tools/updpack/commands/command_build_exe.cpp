// updpack build-exe -o UPDATER.EXE (--archive ARCHIVE | PATH...) [options]:
// the updater that players run, with the archive as its resource "UPDATE"
// 102, the archive's digest as "UPDATE" 103 and the release's version
// strings, and signed when a certificate is given. The resources are
// written into the updater that updpack carries for the architecture
// (carried_updaters.h), or the updater is linked from a kit named with
// --kit, one that a Windows build of this project made elsewhere.
// The archive is checked first (sound, and a description the updater can
// run: see release_check.h); nothing is built when it fails, and the output
// appears only once the executable is complete, holds the archive byte for
// byte with its digest, and is signed if asked. Same inputs, same unsigned
// executable.
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "authoring/archive_reader.h"
#include "authoring/pe_resources.h"
#include "tools/updpack/commands/commands.h"
#include "tools/updpack/commands/tool_messages.h"
#include "tools/updpack/executable/authenticode.h"
#include "tools/updpack/executable/carried_updaters.h"
#include "tools/updpack/executable/executable_limits.h"
#include "tools/updpack/executable/release_check.h"
#include "tools/updpack/executable/release_resources.h"
#include "tools/updpack/executable/updater_digest.h"
#include "tools/updpack/executable/updater_kit.h"
#include "tools/updpack/files/archive_input.h"
#include "tools/updpack/files/atomic_file.h"
#include "tools/updpack/files/input_file.h"
#include "tools/updpack/packing/pack_paths.h"

namespace {

struct BuildOptions {
  std::string output;
  std::string archive;
  std::vector<std::string> paths;
  std::string architecture = "win32";
  std::string kit;
  ReleaseStrings strings;
  SigningOptions signing;
  std::string passwordFile;      // --sign-pass-file
  std::string passwordVariable;  // --sign-pass-env
  PackOptions pack;
};

// A folder of its own for the build's files, removed when done.
class WorkFolder {
 public:
  bool Make(std::string* error) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/updpack-build.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      *error = "cannot make a work folder in " + Quoted(pattern);
      return false;
    }
    path_ = pattern;
    return true;
  }
  ~WorkFolder() {
    if (path_.empty()) return;
    for (const char* name : {"/archive.bin", "/updater.exe", "/signed.exe", "/key-password"}) {
      unlink((path_ + name).c_str());
    }
    rmdir(path_.c_str());
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Appends every piece it is given to `file`.
InputFile::PieceTaker AppendTo(AtomicFile* file) {
  return [file](const uint8_t* piece, size_t size, std::string* error) {
    return file->Append(piece, size, error);
  };
}

// The archive to build with, as archive.bin of the work folder (made
// first), opened as `archive`: copied a piece at a time from --archive (an
// archive, or an updater's archive), or packed into it from the paths as
// `create` packs them. Every check, the building and the comparison with the
// built executable read this copy, which nothing else can change.
bool GatherArchive(const BuildOptions& options, WorkFolder* work, ArchiveFile* archive,
                   std::string* error) {
  if (!work->Make(error)) return false;
  const std::string copy = work->path() + "/archive.bin";
  if (options.archive.empty()) {
    if (!PackPathsToFile(options.paths, options.output, copy, options.pack, error)) return false;
  } else {
    ArchiveFile source;
    AtomicFile file;
    if (!source.Open(options.archive, error) || !file.Open(copy, error) ||
        !source.ReadPieces(AppendTo(&file), error) || !file.Commit(nullptr, true, error)) {
      return false;
    }
  }
  return archive->OpenBare(copy, error);
}

// Everything that would make a broken updater, one line each.
std::vector<std::string> FindProblems(const ArchiveFile& archive) {
  std::vector<std::string> problems = VerifyArchive(archive);
  if (problems.empty()) problems = CheckRelease(archive);
  return problems;
}

// Whether `exe` holds the archive's bytes at `offset`, compared a piece at a
// time. False with `error` set when a file cannot be read.
bool HoldsArchiveAt(const InputFile& exe, uint64_t offset, const ArchiveFile& archive, bool* holds,
                    std::string* error) {
  std::vector<uint8_t> theirs;
  *holds = true;
  const bool read = archive.ReadPieces(
      [&](const uint8_t* piece, size_t size, std::string* why) {
        theirs.resize(size);
        if (!exe.ReadAt(offset, theirs.data(), size, why)) return false;
        offset += size;
        *holds = std::memcmp(piece, theirs.data(), size) == 0;
        return *holds;  // the first difference settles it
      },
      error);
  return read || !*holds;
}

// The built executable at `path` is for the asked machine and carries the
// archive unchanged, with its digest.
bool CheckExecutable(const std::string& path, const ArchiveFile& archive, uint16_t machine,
                     std::string* error) {
  InputFile exe;
  PeImage image;
  if (!exe.Open(path, error) || !ReadExecutableImage(exe, &image, error)) return false;
  if (image.machine != machine) {
    *error = "the built updater is for another machine than the one asked for";
    return false;
  }
  const PeResource* resource = FindArchiveResource(image);
  bool holds = resource != nullptr && resource->size == archive.size();
  if (holds && !HoldsArchiveAt(exe, resource->offset, archive, &holds, error)) return false;
  if (!holds) {
    *error = "the built updater does not carry the archive unchanged";
    return false;
  }
  DigestState digest;
  std::string detail;
  if (!CheckUpdaterDigest(exe, image, &digest, &detail, error)) return false;
  if (digest != DigestState::kMatches) {
    *error = "the built updater does not carry the archive's digest" +
             (detail.empty() ? std::string() : " (" + detail + ")");
    return false;
  }
  return true;
}

// An executable written as it is made, into a file that appears only once
// it is committed.
class AtomicPeOutput final : public PeOutput {
 public:
  explicit AtomicPeOutput(AtomicFile* file) : file_(file) {}
  bool Append(const uint8_t* bytes, size_t size, std::string* error) override {
    return file_->Append(bytes, size, error);
  }
  bool Overwrite(uint64_t offset, const uint8_t* bytes, size_t size, std::string* error) override {
    return file_->WriteAt(offset, std::vector<uint8_t>(bytes, bytes + size), error);
  }

 private:
  AtomicFile* file_;
};

// Writes `output`: the carried updater of the architecture with the
// release's resources, the archive (the work folder's copy at
// `archivePath`) read a piece at a time, for its digest and again into the
// executable.
bool WriteCarriedUpdater(const std::string& architecture, const ArchiveFile& archive,
                         const std::string& archivePath, const ReleaseStrings& strings,
                         const std::string& output, std::string* error) {
  CarriedUpdater carried;
  if (!FindCarriedUpdater(architecture, &carried)) {
    *error = "updpack carries no updater for " + Quoted(architecture);
    return false;
  }
  InputFile copy;
  std::vector<uint8_t> digest;
  if (!copy.Open(archivePath, error) || !Sha256Of(copy, 0, copy.size(), &digest, error)) {
    return false;
  }
  PeDataSource source;
  source.size = archive.size();
  source.read = [&archive](const PeDataSource::PieceTaker& take, std::string* why) {
    return archive.ReadPieces(take, why);
  };
  AtomicFile file;
  AtomicPeOutput out(&file);
  return file.Open(output, error) &&
         WriteReleaseResources(std::vector<uint8_t>(carried.bytes, carried.bytes + carried.size),
                               source, digest, strings, &out, error) &&
         file.Commit(nullptr, false, error);
}

// Signs the built updater when asked and checks the signed one again;
// `built` names the executable to put in place.
bool SignIfAsked(const BuildOptions& options, const std::string& work, const ArchiveFile& archive,
                 uint16_t machine, std::string* built, std::string* error) {
  *built = work + "/updater.exe";
  if (!options.signing.wanted()) return true;
  const std::string signedPath = work + "/signed.exe";
  if (!SignExecutable(*built, signedPath, options.signing, work, error) ||
      !CheckExecutable(signedPath, archive, machine, error)) {
    return false;
  }
  *built = signedPath;
  return true;
}

// Copies the executable `from` to `to` a piece at a time, `to` appearing
// only complete; `size` is told its size.
bool PutInPlace(const std::string& from, const std::string& to, uint64_t* size,
                std::string* error) {
  InputFile exe;
  AtomicFile file;
  if (!exe.Open(from, error) || !file.Open(to, error) ||
      !exe.ReadPieces(0, exe.size(), AppendTo(&file), error) ||
      !file.Commit(nullptr, true, error)) {
    return false;
  }
  *size = exe.size();
  return true;
}

int RunBuild(const BuildOptions& options) {
  std::string error;
  WorkFolder work;
  ArchiveFile archive;
  // An archive too large for the updater's image is refused by its size:
  // an archive file before it is read, any other once it is at hand.
  if ((!options.archive.empty() &&
       !ArchiveFileFits(options.architecture, options.archive, &error)) ||
      !GatherArchive(options, &work, &archive, &error) ||
      !ArchiveFits(options.architecture, archive.size(), options.archive, &error)) {
    ReportError(error);
    return kFailure;
  }
  const std::vector<std::string> problems = FindProblems(archive);
  if (!problems.empty()) {
    for (const std::string& problem : problems) ReportError(problem);
    ReportError("no updater was built");
    return kFailure;
  }
  ReleaseStrings strings = options.strings;
  if (strings.originalFilename.empty()) {
    strings.originalFilename = std::filesystem::path(options.output).filename();
  }
  const uint16_t machine = options.architecture == "win64" ? kPeMachineAmd64 : kPeMachineI386;

  const std::string archivePath = work.path() + "/archive.bin";
  const std::string unsignedPath = work.path() + "/updater.exe";
  const bool made = options.kit.empty()
                        ? WriteCarriedUpdater(options.architecture, archive, archivePath, strings,
                                              unsignedPath, &error)
                        : LinkWithKit(options.kit, archivePath, unsignedPath, strings, &error);
  std::string built;
  uint64_t size = 0;
  if (!made || !CheckExecutable(unsignedPath, archive, machine, &error) ||
      !SignIfAsked(options, work.path(), archive, machine, &built, &error) ||
      !PutInPlace(built, options.output, &size, &error)) {
    ReportError(error);
    return kFailure;
  }
  ArchiveListing listing;
  ReadArchiveListing(archive, &listing, &error);
  std::printf("%s: updater for %s, %" PRIu64 " bytes, carrying %zu entries in %" PRIu64
              " bytes%s\n",
              Printable(options.output).c_str(), options.architecture.c_str(), size,
              listing.entries.size(), archive.size(), options.signing.wanted() ? ", signed" : "");
  return 0;
}

// a.b.c.d, each part 0..65535.
std::string CheckVersion(const std::string& text) {
  uint16_t numbers[4];
  return ParseReleaseVersion(text, numbers);
}

}  // namespace

void AddBuildExeCommand(CLI::App& app, int& status) {
  auto options = std::make_shared<BuildOptions>();
  CLI::App* command = app.add_subcommand(
      "build-exe",
      "Builds the updater executable that players run from the updater that updpack carries "
      "(no compiler needed): the archive (given, or packed from files and folders as create "
      "packs them) becomes its resource UPDATE 102 and its digest UPDATE 103, beside the "
      "release's version strings. Refuses an archive whose UPDATE.INI the updater could not "
      "run, before building anything.");
  command->add_option("-o,--output", options->output, "the executable to write")->required();
  CLI::Option* archive = command->add_option(
      "--archive", options->archive, "an archive, or an updater whose archive to use again");
  CLI::Option* paths =
      command->add_option("paths", options->paths, "files and folders to pack instead");
  archive->excludes(paths);
  paths->excludes(archive);
  command
      ->add_option("--arch", options->architecture,
                   "win32 (the default, the shipped build) or win64")
      ->check(CLI::IsMember({"win32", "win64"}));
  command->add_option("--kit", options->kit,
                      "link the updater with this kit (a Windows build's kit folder) instead of "
                      "using the updater that updpack carries");
  command->add_option("--product", options->strings.product, "ProductName of the release");
  command->add_option("--company", options->strings.company, "CompanyName of the release");
  command->add_option("--original-filename", options->strings.originalFilename,
                      "OriginalFilename (default: the output's file name)");
  command->add_option("--file-version", options->strings.fileVersion, "FileVersion, a.b.c.d")
      ->check(CheckVersion);
  command
      ->add_option("--product-version", options->strings.productVersion, "ProductVersion, a.b.c.d")
      ->check(CheckVersion);
  command->add_option("--sign-cert", options->signing.certificate,
                      "sign the updater (Authenticode) with this certificate (PEM)");
  command->add_option("--sign-key", options->signing.key, "the certificate's private key");
  auto* passFile = command->add_option("--sign-pass-file", options->passwordFile,
                                       "read the key's password from the first line of FILE");
  command
      ->add_option("--sign-pass-env", options->passwordVariable,
                   "read the key's password from the environment variable NAME")
      ->excludes(passFile);
  // The old option, which put the password on the command line: hidden,
  // and refused with the way to give the password now.
  CLI::Option* passOnCommandLine = command->add_option("--sign-pass")->expected(0, 1)->group("");
  command->add_option("--timestamp-url", options->signing.timestampUrl,
                      "an RFC 3161 time-stamping service for the signature");
  AddPackOptions(command, &options->pack);
  command->callback([options, passOnCommandLine, &status] {
    if (passOnCommandLine->count() > 0) {
      throw CLI::ValidationError("--sign-pass",
                                 "the key's password is not taken on the command line, where "
                                 "every process can read it: use --sign-pass-file FILE or "
                                 "--sign-pass-env NAME");
    }
    if (options->signing.wanted() &&
        (options->signing.certificate.empty() || options->signing.key.empty())) {
      throw CLI::ValidationError("build-exe", "signing needs both --sign-cert and --sign-key");
    }
    if (options->archive.empty() && options->paths.empty()) {
      throw CLI::ValidationError("build-exe",
                                 "give --archive ARCHIVE or files and folders to pack");
    }
    std::string error;
    if (!ReadKeyPassword(options->passwordFile, options->passwordVariable,
                         &options->signing.password, &error)) {
      ReportError(error);
      status = kFailure;
      return;
    }
    status = RunBuild(*options);
  });
}
