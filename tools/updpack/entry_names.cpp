#include "tools/updpack/entry_names.h"

#include <algorithm>

#include "authoring/entry_file_name.h"
#include "platform/posix/codepage.h"
#include "platform/posix/posix_functions.h"

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
  return std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(),
      [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); });
}

bool FindSameNames(const std::vector<std::string>& cp932Names, size_t* first, size_t* second) {
  // Sorted by the updater's own comparison, equal names stand side by side;
  // a stable sort keeps them in their given order.
  std::vector<size_t> order(cp932Names.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  auto compare = [&](size_t a, size_t b) {
    return PosixLstrcmpiA(cp932Names[a].c_str(), cp932Names[b].c_str());
  };
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return compare(a, b) < 0; });
  for (size_t k = 1; k < order.size(); ++k) {
    if (compare(order[k - 1], order[k]) == 0) {
      *first = order[k - 1];
      *second = order[k];
      return true;
    }
  }
  return false;
}
