// updpack verify ARCHIVE: decodes the whole archive and checks every bound.
// Each fault is one line on standard error; the exit status is 0 only for a
// sound archive.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "authoring/archive_reader.h"
#include "tools/updpack/archive_input.h"
#include "tools/updpack/commands.h"
#include "tools/updpack/progress_bar.h"
#include "tools/updpack/tool_messages.h"

namespace {

void ShowProgress(uint64_t done, uint64_t, void* context) {
  static_cast<ProgressBar*>(context)->Update(done, "checking");
}

int RunVerify(const std::string& archive) {
  std::vector<uint8_t> image;
  std::string error;
  if (!LoadArchive(archive, &image, &error)) {
    ReportError(error);
    return kFailure;
  }
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
  return 0;
}

}  // namespace

void AddVerifyCommand(CLI::App& app, int& status) {
  auto archive = std::make_shared<std::string>();
  CLI::App* command = app.add_subcommand(
      "verify", "Decodes the whole archive and checks every bound; says what is wrong and "
                "where. Exits with 0 only for a sound archive.");
  command->add_option("archive", *archive, "the archive")->required();
  command->callback([archive, &status] { status = RunVerify(*archive); });
}
