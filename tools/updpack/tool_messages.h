// How updpack talks to its user: errors and warnings are one line each on
// standard error, starting with "updpack: ".
#pragma once

#include <string>

constexpr int kFailure = 1;     // the work failed, or the archive is unsound
constexpr int kUsageError = 2;  // the command line was wrong

void ReportError(const std::string& message);
void ReportWarning(const std::string& message);

// A path or name as it appears in messages: in double quotes.
std::string Quoted(const std::string& text);
