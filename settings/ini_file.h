// Settings (INI) files read as GetPrivateProfileStringA reads them on a
// Japanese system, whatever the system's code page: the file's bytes are
// code page 932 text, walked character by character, so
// that second bytes such as 0x5C or 0x5D never count as ASCII characters.
//
// - Lines end at line feeds and carriage returns. Blanks (tab to carriage
//   return, Ctrl-Z and the space) around lines, names and values do not
//   count; the ideographic space does.
// - A line that starts with '[' and holds a ']' is a section header; the name
//   runs to the last ']', without the blanks inside the brackets. Lines
//   before the first header form a section with the empty name.
// - Other lines are keys, split at their first '='; a line without '=' is a
//   key without value. There is no comment syntax: ";key=x" is a key named
//   ";key", which no ordinary name matches.
// - A NUL byte ends the name or value that it is in.
// - Names are compared without regard to ASCII case. Only the first section
//   of a name is searched; of duplicate keys the first counts.
// - No byte-order mark is recognised: a UTF-8 mark stays part of the first
//   line, as in Windows (Wine would skip it).
#pragma once

#include <cstdint>
#include <string_view>

// Looks up `key` in `section` of `text`, both asked without the blanks
// around them. True when the key is there with '=': `value` is then its
// text without the blanks around it (quotes still on).
bool FindProfileValue(std::string_view text, std::string_view section, std::string_view key,
                      std::string_view* value);

// Copies `value` into `out` of `size` bytes the way GetPrivateProfileStringA
// returns it: a value of two or more bytes wrapped in matching quotes (' or
// ") loses them, and a value longer than size - 1 bytes is cut there, or one
// byte earlier when the cut would split a two-byte character. Returns the
// number of bytes placed before the terminating NUL.
uint32_t CopyProfileValue(std::string_view value, char* out, uint32_t size);

// GetPrivateProfileStringA over a file's `text` (null: the file could not be
// read, which reads as a file without the key). Only the form that the
// updater uses is answered, a section and a key: with no section or no key
// (the listing forms of Windows) the result is an empty list and 0. A key
// that is not there gives `defaultValue` without its trailing spaces.
uint32_t AnswerProfileQuery(const std::string_view* text, const char* section, const char* key,
                            const char* defaultValue, char* out, uint32_t size);
