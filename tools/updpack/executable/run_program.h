// Runs another program (found on PATH) and collects what it prints.
#pragma once

#include <string>
#include <vector>

struct ProgramResult {
  int exitStatus = -1;  // -1 when it did not end normally
  std::string output;   // standard output and standard error, interleaved
};

// False with `error` set when the program cannot be started or waited for.
bool RunProgram(const std::vector<std::string>& arguments, ProgramResult* result,
                std::string* error);
