#include "tools/updpack/packing/entry_names.h"

#include <algorithm>
#include <unordered_map>

#include "authoring/entry_file_name.h"
#include "authoring/name_fold_keys.h"
#include "host/codepage.h"

namespace {

constexpr size_t kMaxNameBytes = 259;

}  // namespace

bool EntryNameFromFileName(const std::string& utf8, std::string* cp932, std::string* error) {
  if (!Utf8ToCp932(utf8, cp932)) {
    *error = "cannot be written in code page 932 (Shift-JIS), the updater's code page";
    return false;
  }
  // Checked as converted: a character may become a byte the updater takes
  // for a path separator (¥ becomes 0x5C, a backslash).
  const std::string why = WhyNotAFileName(*cp932);
  if (!why.empty()) {
    *error = "is not a name Windows allows for a file in code page 932: it " + why;
    return false;
  }
  if (cp932->size() > kMaxNameBytes) {
    *error = "is " + std::to_string(cp932->size()) +
             " bytes long in code page 932; an entry name holds at most 259";
    return false;
  }
  return true;
}

bool EntryNameBefore(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  });
}

bool FindSameNames(const std::vector<std::string>& cp932Names, size_t* first, size_t* second) {
  NameFoldKeys keys;
  std::unordered_map<std::u16string, size_t> firstOfKey;
  for (size_t i = 0; i < cp932Names.size(); ++i) {
    const auto found = firstOfKey.emplace(keys.Key(cp932Names[i]), i);
    if (!found.second) {
      *first = found.first->second;
      *second = i;
      return true;
    }
  }
  return false;
}
