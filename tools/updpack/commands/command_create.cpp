// updpack create -o ARCHIVE [options] PATH...: packs files, and the files of
// folders (recursively), into a new archive.
#include <memory>
#include <string>
#include <vector>

#include "tools/updpack/commands/commands.h"
#include "tools/updpack/commands/tool_messages.h"
#include "tools/updpack/packing/pack_paths.h"

namespace {

struct CreateOptions {
  std::string output;
  std::vector<std::string> paths;
  PackOptions pack;
};

int RunCreate(const CreateOptions& options) {
  std::string error;
  if (!PackPathsToFile(options.paths, options.output, options.output, options.pack, &error)) {
    ReportError(error);
    return kFailure;
  }
  return 0;
}

}  // namespace

void AddCreateCommand(CLI::App& app, int& status) {
  auto options = std::make_shared<CreateOptions>();
  CLI::App* command = app.add_subcommand(
      "create",
      "Packs files, and the files in folders (recursively), into a new archive. Entries are "
      "named by the files' own names in code page 932 and ordered by the bytes of those names.");
  command->add_option("-o,--output", options->output, "the archive to write")->required();
  command->add_option("paths", options->paths, "files and folders to pack")->required();
  AddPackOptions(command, &options->pack);
  command->callback([options, &status] { status = RunCreate(*options); });
}
