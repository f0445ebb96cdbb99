// updpack verify ARCHIVE [--ca FILE] [--require-digest] [--require-signature]:
// decodes the whole archive and checks every bound; for an updater, also
// the digest it carries of its archive and its Authenticode signature. Each
// fault is one line on standard error, and the last line is the verdict:
// "<file>: sound" on standard output when every check held, otherwise
// "updpack: <file>: not sound: <what failed>" on standard error and exit
// status 1.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "authoring/archive_reader.h"
#include "tools/updpack/commands/commands.h"
#include "tools/updpack/commands/progress_bar.h"
#include "tools/updpack/commands/tool_messages.h"
#include "tools/updpack/executable/authenticode.h"
#include "tools/updpack/files/archive_input.h"

namespace {

struct VerifyOptions {
  std::string archive;
  std::string trusted;  // --ca
  bool requireDigest = false;
  bool requireSignature = false;
};

void ShowProgress(uint64_t done, uint64_t, void* context) {
  static_cast<ProgressBar*>(context)->Update(done, "checking");
}

// The updater's digest and signature: a line each. What failed, or what a
// requirement missed, is added to `failed`.
void CheckUpdater(const VerifyOptions& options, const ArchiveOrigin& origin,
                  std::vector<std::string>* failed) {
  const std::string& path = options.archive;
  if (origin.digest == DigestState::kMismatch) {
    ReportError(Quoted(path) + ": " + DigestStateText(origin.digest) + " (" + origin.digestDetail +
                ")");
    failed->push_back("digest does not match");
  } else {
    std::printf("%s: %s\n", Printable(path).c_str(), DigestStateText(origin.digest));
    if (origin.digest == DigestState::kNone) {
      if (options.requireDigest) {
        failed->push_back("no digest (--require-digest)");
      } else {
        // Not refused (updaters made before digests carry none), but it
        // must not pass unseen: the updater cannot tell its archive damaged.
        std::fflush(stdout);
        ReportWarning(Quoted(path) +
                      " carries no digest of its archive, so the updater cannot tell a damaged "
                      "archive (--require-digest refuses it)");
      }
    }
  }
  SignatureReport signature;
  std::string error;
  if (!ReadSignature(path, origin.carriesSignature, options.trusted, &signature, &error)) {
    ReportError(Quoted(path) + ": cannot check the signature: " + error);
    failed->push_back("signature not checked");
    return;
  }
  if (!signature.isSigned) {
    std::printf("%s: not signed\n", Printable(path).c_str());
    if (options.requireSignature) failed->push_back("not signed (--require-signature)");
  } else if (signature.valid) {
    std::printf("%s: signed by %s, signature valid\n", Printable(path).c_str(),
                Printable(signature.signer).c_str());
  } else {
    ReportError(Quoted(path) + ": signed" +
                (signature.signer.empty() ? std::string() : " by " + Printable(signature.signer)) +
                ", signature not valid (" + Printable(signature.reason) + ")");
    failed->push_back("signature not valid");
  }
}

// The archive's own checks: each problem a line; one entry in `failed`.
void CheckArchive(const VerifyOptions& options, const ArchiveFile& archive,
                  std::vector<std::string>* failed) {
  std::vector<std::string> problems;
  {
    ArchiveListing listing;
    std::string error;
    uint64_t total = 0;
    if (ReadArchiveListing(archive, &listing, &error)) {
      for (const ArchiveEntry& e : listing.entries) total += e.storedSize;
    }
    ProgressBar bar(total);
    problems = VerifyArchive(archive, ShowProgress, &bar);
  }
  // Problems quote entry names: printable, so that no name forges a line.
  for (const std::string& problem : problems) {
    ReportError(Quoted(options.archive) + ": " + Printable(problem));
  }
  if (!problems.empty()) {
    failed->push_back(std::to_string(problems.size()) +
                      (problems.size() == 1 ? " problem" : " problems") + " in the archive");
  }
}

int RunVerify(const VerifyOptions& options) {
  ArchiveFile archive;
  std::string error;
  ArchiveOrigin origin;
  if (!archive.Open(options.archive, &error, &origin)) {
    ReportError(error);
    return kFailure;
  }
  std::vector<std::string> failed;
  if (origin.executable) {
    CheckUpdater(options, origin, &failed);
  } else if (options.requireDigest || options.requireSignature) {
    // A bare archive carries neither; only an updater can meet these.
    failed.push_back("an archive, not an updater: it carries no digest or signature");
  }
  CheckArchive(options, archive, &failed);
  if (failed.empty()) {
    std::printf("%s: sound\n", Printable(options.archive).c_str());
    return 0;
  }
  std::string verdict = Printable(options.archive) + ": not sound: " + failed[0];
  for (size_t i = 1; i < failed.size(); ++i) verdict += "; " + failed[i];
  std::fflush(stdout);
  ReportError(verdict);
  return kFailure;
}

}  // namespace

void AddVerifyCommand(CLI::App& app, int& status) {
  auto options = std::make_shared<VerifyOptions>();
  CLI::App* command =
      app.add_subcommand("verify",
                         "Decodes the whole archive and checks every bound; says what is wrong and "
                         "where. For an updater, also checks the digest of its archive and its "
                         "signature. The last line is the verdict; exits with 0 only when every "
                         "check holds.");
  command->add_option("archive", options->archive, "the archive, or an updater")->required();
  command
      ->add_option("--ca", options->trusted,
                   "certificates (PEM) to trust for the signature instead of the system's")
      ->check(CLI::ExistingFile);
  command->add_flag("--require-digest", options->requireDigest,
                    "fail unless the updater carries the digest of its archive (and it holds)");
  command->add_flag("--require-signature", options->requireSignature,
                    "fail unless the updater is signed with a valid signature");
  command->callback([options, &status] { status = RunVerify(*options); });
}
