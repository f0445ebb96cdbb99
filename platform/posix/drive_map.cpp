#include "platform/posix/drive_map.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host/codepage.h"

namespace {

DriveMapping drives[26];

int Index(char letter) {
  int c = std::toupper(static_cast<unsigned char>(letter));
  return (c >= 'A' && c <= 'Z') ? c - 'A' : -1;
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The entry of `folder` whose name equals `name` ignoring ASCII case.
std::string MatchIgnoringCase(const std::string& folder, const std::string& name) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return name;
  std::string found = name;
  while (dirent* entry = readdir(dir)) {
    if (strcasecmp(entry->d_name, name.c_str()) == 0) {
      found = entry->d_name;
      break;
    }
  }
  closedir(dir);
  return found;
}

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

void SetDriveMapping(char letter, const std::string& hostRoot, win::Uint type) {
  int i = Index(letter);
  if (i < 0) return;
  drives[i].hostRoot = WithoutTrailingSlash(hostRoot);
  drives[i].type = type;
}

void ClearDriveMap() {
  for (DriveMapping& d : drives) d = DriveMapping{};
}

void LoadDriveMapFromEnvironment() {
  ClearDriveMap();
  const char* file = std::getenv("UPDATER_DRIVE_MAP");
  if (file == nullptr || *file == '\0') {
    SetDriveMapping('C', "/", win::kDriveFixed);
    return;
  }
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string drive, type, root;
    fields >> drive >> type;
    std::getline(fields >> std::ws, root);
    if (drive.size() != 2 || drive[1] != ':' || root.empty()) continue;
    SetDriveMapping(drive[0], root, type == "cdrom" ? win::kDriveCdrom : win::kDriveFixed);
  }
}

const DriveMapping& DriveFor(char letter) {
  static const DriveMapping none;
  int i = Index(letter);
  return i < 0 ? none : drives[i];
}

bool DosToHostPath(const char* dosPath, std::string* hostPath) {
  if (dosPath == nullptr || dosPath[0] == '\0' || dosPath[1] != ':') return false;
  const DriveMapping& drive = DriveFor(dosPath[0]);
  if (drive.hostRoot.empty()) return false;
  std::string rest;
  if (!Cp932ToUtf8(dosPath + 2, &rest)) return false;
  std::string result = drive.hostRoot == "/" ? "" : drive.hostRoot;
  std::string component;
  auto flush = [&]() {
    if (component.empty() || component == ".") {
      component.clear();
      return;
    }
    std::string candidate = result + "/" + component;
    if (!Exists(candidate)) {
      candidate = result + "/" + MatchIgnoringCase(result.empty() ? "/" : result, component);
    }
    result = candidate;
    component.clear();
  };
  for (char c : rest) {
    if (c == '\\' || c == '/') {
      flush();
    } else {
      component += c;
    }
  }
  flush();
  *hostPath = result.empty() ? "/" : result;
  return true;
}

bool HostToDosPath(const std::string& hostPath, std::string* dosPath) {
  int best = -1;
  size_t bestLength = 0;
  for (int i = 0; i < 26; ++i) {
    const std::string& root = drives[i].hostRoot;
    if (root.empty()) continue;
    bool inside = root == "/" || hostPath == root ||
                  (hostPath.compare(0, root.size(), root) == 0 && hostPath[root.size()] == '/');
    size_t length = root == "/" ? 0 : root.size();
    if (inside && (best < 0 || length > bestLength)) {
      best = i;
      bestLength = length;
    }
  }
  if (best < 0) return false;
  std::string rest = hostPath.substr(bestLength);
  for (char& c : rest) {
    if (c == '/') c = '\\';
  }
  std::string cp932;
  if (!Utf8ToCp932(rest, &cp932)) return false;
  *dosPath = std::string(1, char('A' + best)) + ":" + (cp932.empty() ? "\\" : cp932);
  return true;
}
