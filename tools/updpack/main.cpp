// updpack: makes, lists, extracts and verifies the updater's archives, and
// builds the updater executables that carry them.
#include <cstdio>
#include <iostream>
#include <new>

#include "tools/updpack/commands/commands.h"
#include "tools/updpack/commands/tool_messages.h"
#include "tools/updpack/commands/version_text.h"

int main(int argc, char** argv) {
  CLI::App app("Makes, lists, extracts and verifies update archives, and builds updaters.",
               "updpack");
  app.set_version_flag("--version", VersionText(),
                       "print updpack's version and the updaters it carries");
  app.require_subcommand(1);
  int status = 0;
  AddCreateCommand(app, status);
  AddListCommand(app, status);
  AddExtractCommand(app, status);
  AddVerifyCommand(app, status);
  AddBuildExeCommand(app, status);
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    ReportError(std::string(e.what()) + " (see updpack --help)");
    return kUsageError;
  } catch (const std::bad_alloc&) {
    ReportError("out of memory");
    return kFailure;
  }
  return status;
}
