// How updpack talks to its user: errors and warnings are one line each on
// standard error, starting with "updpack: ".
#pragma once

#include <string>

constexpr int kFailure = 1;     // the work failed, or the archive is unsound
constexpr int kUsageError = 2;  // the command line was wrong

void ReportError(const std::string& message);
void ReportWarning(const std::string& message);

// A path or name as it appears in human output: control characters (C0,
// DEL, C1), backslashes and bytes that are not UTF-8 written as \xNN, so
// that no name can move the cursor, forge a line or colour the terminal.
std::string Printable(const std::string& text);

// A path or name as it appears in messages: printable, in double quotes.
std::string Quoted(const std::string& text);

// What failed on a path, with the system's reason (errno):
// `cannot read "in/a.dat": Permission denied`.
std::string SystemError(const std::string& what, const std::string& path);
