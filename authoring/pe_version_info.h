// Reads a version resource (VS_VERSIONINFO): the numbers of its fixed part
// and the strings of its string tables. Bounded by the resource's size and
// by each block's own length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PeVersionString {
  std::string table;  // the string table's key, e.g. "041103a4"
  std::string key;    // UTF-8
  std::string value;  // UTF-8
};

struct PeVersionInfo {
  uint16_t fileVersion[4] = {};     // a.b.c.d
  uint16_t productVersion[4] = {};  // a.b.c.d
  std::vector<PeVersionString> strings;
};

// False with `error` set when the block is damaged or has no fixed part.
bool ReadPeVersionInfo(const uint8_t* data, size_t size, PeVersionInfo* info, std::string* error);

// The value of `key` in the first string table that has it; nullptr when
// none has.
const std::string* FindVersionString(const PeVersionInfo& info, const std::string& key);
