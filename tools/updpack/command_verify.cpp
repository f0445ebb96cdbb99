// updpack verify ARCHIVE [--ca FILE]: decodes the whole archive and checks
// every bound; for an updater, also the digest it carries of its archive and
// its Authenticode signature. Each fault is one line on standard error; the
// exit status is 0 only for a sound archive whose digest and signature, where
// there are any, hold.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "authoring/archive_reader.h"
#include "tools/updpack/archive_input.h"
#include "tools/updpack/authenticode.h"
#include "tools/updpack/commands.h"
#include "tools/updpack/progress_bar.h"
#include "tools/updpack/tool_messages.h"

namespace {

void ShowProgress(uint64_t done, uint64_t, void* context) {
  static_cast<ProgressBar*>(context)->Update(done, "checking");
}

// The updater's digest and signature: a line each, and whether they hold.
bool CheckUpdater(const std::string& path, const ArchiveOrigin& origin,
                  const std::string& trusted) {
  bool holds = true;
  if (origin.digest == DigestState::kMismatch) {
    ReportError(Quoted(path) + ": " + DigestStateText(origin.digest) + " (" +
                origin.digestDetail + ")");
    holds = false;
  } else {
    std::printf("%s: %s\n", Printable(path).c_str(), DigestStateText(origin.digest));
  }
  SignatureReport signature;
  std::string error;
  if (!ReadSignature(path, trusted, &signature, &error)) {
    ReportError(Quoted(path) + ": cannot check the signature: " + error);
    return false;
  }
  if (!signature.isSigned) {
    std::printf("%s: not signed\n", Printable(path).c_str());
  } else if (signature.valid) {
    std::printf("%s: signed by %s, signature valid\n", Printable(path).c_str(),
                Printable(signature.signer).c_str());
  } else {
    ReportError(Quoted(path) + ": signed" +
                (signature.signer.empty() ? std::string() : " by " + Printable(signature.signer)) +
                ", signature not valid (" + Printable(signature.reason) + ")");
    holds = false;
  }
  return holds;
}

int RunVerify(const std::string& archive, const std::string& trusted) {
  std::vector<uint8_t> image;
  std::string error;
  ArchiveOrigin origin;
  if (!LoadArchive(archive, &image, &error, &origin)) {
    ReportError(error);
    return kFailure;
  }
  const bool updaterHolds = !origin.executable || CheckUpdater(archive, origin, trusted);
  std::vector<std::string> problems;
  {
    ArchiveListing listing;
    uint64_t total = 0;
    if (ReadArchiveListing(image.data(), image.size(), &listing, &error)) {
      for (const ArchiveEntry& e : listing.entries) total += e.storedSize;
    }
    ProgressBar bar(total);
    problems = VerifyArchive(image.data(), image.size(), ShowProgress, &bar);
  }
  // Problems quote entry names: printable, so that no name forges a line.
  for (const std::string& problem : problems) {
    ReportError(Quoted(archive) + ": " + Printable(problem));
  }
  if (!problems.empty()) return kFailure;
  std::printf("%s: sound\n", Printable(archive).c_str());
  return updaterHolds ? 0 : kFailure;
}

}  // namespace

void AddVerifyCommand(CLI::App& app, int& status) {
  auto archive = std::make_shared<std::string>();
  auto trusted = std::make_shared<std::string>();
  CLI::App* command = app.add_subcommand(
      "verify", "Decodes the whole archive and checks every bound; says what is wrong and "
                "where. For an updater, also checks the digest of its archive and its "
                "signature. Exits with 0 only when all of them hold.");
  command->add_option("archive", *archive, "the archive, or an updater")->required();
  command->add_option("--ca", *trusted,
                      "certificates (PEM) to trust for the signature instead of the system's")
      ->check(CLI::ExistingFile);
  command->callback([archive, trusted, &status] { status = RunVerify(*archive, *trusted); });
}
