// Registry files in the text format that regedit exports and imports:
// "REGEDIT4" or "Windows Registry Editor Version 5.00" on the first line,
// then "[key]" sections with "name"="text", "name"=dword:0000000a,
// "name"=hex:01,02 and "name"=hex(N):... values ("@" for the default value).
// The file is UTF-8 (a BOM is allowed) or UTF-16LE with its BOM; names and
// texts are returned in code page 932, as the ANSI registry functions give
// them.
#pragma once

#include <string>
#include <vector>

#include "core/win_types.h"

constexpr win::Dword kRegSz = 1;
constexpr win::Dword kRegExpandSz = 2;
constexpr win::Dword kRegBinary = 3;
constexpr win::Dword kRegDword = 4;
constexpr win::Dword kRegMultiSz = 7;

struct RegFileValue {
  std::string name;  // code page 932; empty for the default value
  win::Dword type;
  std::string data;  // the bytes a query returns; texts end with their NUL
};

struct RegFileKey {
  std::string path;  // code page 932, "HKEY_CURRENT_USER\Software\..." (roots spelled out)
  std::vector<RegFileValue> values;
};

// Parses `bytes` into `keys` (one record per key, later sections of the
// same key merged into the first). A line that cannot be read is skipped
// and described in `warnings` with its line number. False, with a warning,
// when the text does not start with a registry file header.
bool ParseRegFile(const std::string& bytes, std::vector<RegFileKey>* keys,
                  std::vector<std::string>* warnings);

// Compares two code page 932 key paths or value names as the registry does:
// without regard to the case of ASCII letters.
bool SameRegName(const std::string& a, const std::string& b);
