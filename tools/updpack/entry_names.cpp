#include "tools/updpack/entry_names.h"

#include <algorithm>
#include <cstring>

#include "platform/posix/codepage.h"
#include "platform/posix/posix_functions.h"

namespace {

constexpr size_t kMaxNameBytes = 259;

// Characters Windows refuses in a file name, and the names "." and "..".
bool IsPlainWindowsName(const std::string& utf8) {
  if (utf8.empty() || utf8 == "." || utf8 == "..") return false;
  for (unsigned char c : utf8) {
    if (c < 0x20 || std::strchr("\\/:*?\"<>|", c) != nullptr) return false;
  }
  return true;
}

}  // namespace

bool EntryNameFromFileName(const std::string& utf8, std::string* cp932, std::string* error) {
  if (!IsPlainWindowsName(utf8)) {
    *error = "is not a name Windows allows for a file (it holds one of \\ / : * ? \" < > | or a "
             "control character)";
    return false;
  }
  if (!Utf8ToCp932(utf8, cp932)) {
    *error = "cannot be written in code page 932 (Shift-JIS), the updater's code page";
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
