// Runs a shell command for a test and gives what it printed on both outputs
// and its exit status. The command runs in the C locale: the tests read the
// words of tools such as objdump, which translate them in the Japanese
// locale the test command runs in.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

struct CommandOutput {
  int status = -1;  // the exit status; -1 when it did not run or end
  std::string text;
};

inline CommandOutput RunCommand(const std::string& command) {
  CommandOutput result;
  FILE* pipe = popen(("LC_ALL=C " + command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.text.append(buffer, n);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}
