#include "tools/updpack/executable/updater_kit.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/updpack/commands/tool_messages.h"

extern char** environ;

bool LinkWithKit(const std::string& kit, const std::string& archive, const std::string& output,
                 const ReleaseStrings& strings, std::string* error) {
  const std::string script = kit + "/link-updater.sh";
  if (access(script.c_str(), X_OK) != 0) {
    *error = "no updater kit at " + Quoted(kit) +
             " (a kit is the kit/ folder of a Windows build of this project, e.g. "
             "build/win32/kit after scripts/build.sh win32)";
    return false;
  }
  std::vector<std::string> arguments = {"bash", script, archive, output};
  const std::pair<const char*, const std::string*> options[] = {
      {"--product", &strings.product},
      {"--company", &strings.company},
      {"--original-filename", &strings.originalFilename},
      {"--file-version", &strings.fileVersion},
      {"--product-version", &strings.productVersion}};
  for (const auto& option : options) {
    if (option.second->empty()) continue;
    arguments.push_back(option.first);
    arguments.push_back(*option.second);
  }
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t child;
  const int spawned = posix_spawnp(&child, "bash", nullptr, nullptr, argv.data(), environ);
  if (spawned != 0) {
    *error =
        std::string("cannot run bash for the kit's link-updater.sh: ") + std::strerror(spawned);
    return false;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      *error = std::string("waiting for link-updater.sh failed: ") + std::strerror(errno);
      return false;
    }
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *error = "linking the updater with the kit " + Quoted(kit) + " failed";
    return false;
  }
  return true;
}
