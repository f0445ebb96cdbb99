#include "tools/updpack/tool_messages.h"

#include <cstdio>

void ReportError(const std::string& message) {
  std::fprintf(stderr, "updpack: %s\n", message.c_str());
}

void ReportWarning(const std::string& message) {
  std::fprintf(stderr, "updpack: warning: %s\n", message.c_str());
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }
