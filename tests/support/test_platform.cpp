#include "tests/support/test_platform.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "archive/archive_directory.h"
#include "host/codepage.h"
#include "platform/posix/drive_map.h"
#include "platform/posix/posix_functions.h"

std::vector<RecordedMessageBox> UpdaterTest::messages;
std::vector<int> UpdaterTest::answers;

namespace {

int WINAPI_CC RecordMessageBox(win::Hwnd owner, const char* text, const char* caption,
                               win::Uint type) {
  UpdaterTest::messages.push_back({text ? text : "", caption ? caption : "", owner, type});
  if (UpdaterTest::answers.empty()) return win::kIdOk;
  int answer = UpdaterTest::answers.front();
  UpdaterTest::answers.erase(UpdaterTest::answers.begin());
  return answer;
}

std::string MakeTemporaryFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/updater-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) return "";
  return buffer.data();
}

void RemoveTree(const std::string& path) {
  if (path.empty() || path == "/") return;
  std::string command = "chmod -R u+w '" + path + "' 2>/dev/null; rm -rf '" + path + "'";
  if (std::system(command.c_str()) != 0) {
    // Leftovers in the temp folder do no harm.
  }
}

}  // namespace

void UpdaterTest::SetUp() {
  InstallPosixPlatform();
  savedPlatform_ = platform;
  savedSystem_ = systemFunctions;
  ResetUpdaterState();
  messages.clear();
  answers.clear();
  driveC_ = MakeTemporaryFolder();
  ASSERT_FALSE(driveC_.empty());
  ClearDriveMap();
  SetDriveMapping('C', driveC_, win::kDriveFixed);
  platform.MessageBoxA = RecordMessageBox;
}

void UpdaterTest::TearDown() {
  if (updaterState.archiveDirectory != nullptr) CloseArchive(updaterState.archiveDirectory);
  if (updaterState.updateIniText != nullptr) platform.GlobalFree(updaterState.updateIniText);
  ResetUpdaterState();
  platform = savedPlatform_;
  systemFunctions = savedSystem_;
  RemoveTree(driveC_);
  LoadDriveMapFromEnvironment();
}

std::string UpdaterTest::HostPath(const std::string& dosPath) const {
  std::string host;
  EXPECT_TRUE(DosToHostPath(dosPath.c_str(), &host)) << dosPath;
  return host;
}

void UpdaterTest::ResolveTables() { ASSERT_EQ(1, ResolveSystemFunctions(PlatformLoader())); }

bool UpdaterTest::UseArchive(const std::vector<uint8_t>& image) {
  image_ = image;
  updaterState.archiveImage = image_.data();
  updaterState.archiveImageSize = uint32_t(image_.size());
  updaterState.archiveDirectory = OpenArchive();
  if (updaterState.archiveDirectory == nullptr) return false;
  updaterState.archiveEntries = updaterState.archiveDirectory->entries;
  return true;
}

void UpdaterTest::UseUpdateIni(const std::string& bytes) {
  UpdaterState& s = updaterState;
  if (s.updateIniText != nullptr) platform.GlobalFree(s.updateIniText);
  s.updateIniText = static_cast<char*>(platform.GlobalAlloc(win::kGmemFixed, bytes.size() + 1));
  std::memcpy(s.updateIniText, bytes.data(), bytes.size());
  s.updateIniSize = uint32_t(bytes.size());
}

std::string ReadHostFile(const std::string& hostPath) {
  std::ifstream in(hostPath, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteHostFile(const std::string& hostPath, const std::string& content) {
  std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
  out << content;
}

bool HostFileExists(const std::string& hostPath) {
  struct stat st;
  return stat(hostPath.c_str(), &st) == 0;
}

void ForEachHostFile(
    const std::string& root, const std::string& relative,
    const std::function<void(const std::string& path, const struct stat&)>& visit) {
  DIR* dir = opendir((root + "/" + relative).c_str());
  if (dir == nullptr) return;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = relative + name;
    struct stat st;
    if (stat((root + "/" + path).c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      visit(path + "/", st);
      ForEachHostFile(root, path + "/", visit);
    } else {
      visit(path, st);
    }
  }
  closedir(dir);
}

std::string Sjis(const std::string& utf8) {
  std::string out;
  EXPECT_TRUE(Utf8ToCp932(utf8, &out)) << utf8;
  return out;
}
