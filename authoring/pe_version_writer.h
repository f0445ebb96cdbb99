// Builds a version resource (VS_VERSIONINFO) in the layout windres writes:
// the fixed part (VS_FIXEDFILEINFO) with both versions, a StringFileInfo
// with a string table for each table key, and a VarFileInfo whose
// Translation lists the language and code page of each table. ReadPeVersionInfo
// reads back what is written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "authoring/pe_version_info.h"

// The fixed part's fields besides the versions; the defaults are those of
// resources/version.rc.
struct PeVersionFlags {
  uint32_t fileFlagsMask = 0x3F;
  uint32_t fileFlags = 0;
  uint32_t fileOs = 0x40004;  // VOS_NT_WINDOWS32
  uint32_t fileType = 1;      // VFT_APP
  uint32_t fileSubtype = 0;
};

// The version resource of `info`. Strings are written table by table, the
// tables in the order their keys first appear and each table's strings in
// their order. False with `error` set when a table key is not eight hex
// digits (language and code page, e.g. "041103a4"), a key or value is not
// UTF-8 or holds a NUL, a key is empty, or a block outgrows its 16-bit
// length.
bool BuildPeVersionInfo(const PeVersionInfo& info, const PeVersionFlags& flags,
                        std::vector<uint8_t>* out, std::string* error);
