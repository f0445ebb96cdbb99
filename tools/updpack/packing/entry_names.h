// Entry names of the archive: file names turned from the host's UTF-8 into
// code page 932, checked as the updater will use them, and put in the order
// of the archive.
#pragma once

#include <string>
#include <vector>

// The code page 932 name of a file name, or false with `error` set when it
// cannot be written in code page 932, is longer than 259 bytes there, or is
// not a plain Windows file name once converted (WhyNotAFileName).
bool EntryNameFromFileName(const std::string& utf8, std::string* cp932, std::string* error);

// The order of entries in an archive: by the bytes of their code page 932
// names, compared as unsigned numbers.
bool EntryNameBefore(const std::string& a, const std::string& b);

// Indexes of the first pair of names that the updater cannot tell apart
// (its case-insensitive comparison, which also folds full-width Latin,
// Greek and Cyrillic letters), or false when all differ.
bool FindSameNames(const std::vector<std::string>& cp932Names, size_t* first, size_t* second);
