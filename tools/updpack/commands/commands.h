// The subcommands of updpack. Each adds itself to the command line; when it
// is chosen and run, it leaves the process's exit status in `status`.
#pragma once

#include <CLI/CLI.hpp>

void AddCreateCommand(CLI::App& app, int& status);
void AddListCommand(CLI::App& app, int& status);
void AddExtractCommand(CLI::App& app, int& status);
void AddVerifyCommand(CLI::App& app, int& status);
void AddBuildExeCommand(CLI::App& app, int& status);
