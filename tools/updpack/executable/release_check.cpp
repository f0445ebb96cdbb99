#include "tools/updpack/executable/release_check.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "authoring/archive_reader.h"
#include "core/join_path.h"
#include "core/platform.h"
#include "core/updater_state.h"
#include "core/win_types.h"
#include "host/codepage.h"
#include "host/cp932_text.h"
#include "settings/ini_file.h"
#include "update/contained_path.h"
#include "update/update_lines.h"

namespace {

const char kUpdateIni[] = "UPDATE.INI";
const char* const kRequiredSetupKeys[] = {"CompanyName", "GameTitle", "GameClass", "GameDir"};
const char* const kAgreementKeys[] = {"AgreementText", "AgreementTitle"};
const char kLeavesInstallation[] =
    "leaves the installation (\"..\", a root, a drive, a stream or a device name); the updater "
    "refuses it";

std::string Shown(std::string_view cp932) { return "\"" + Cp932ToUtf8Lossy(cp932) + "\""; }

class ReleaseChecker {
 public:
  explicit ReleaseChecker(const ArchiveBytes& archive) : archive_(archive) {}

  std::vector<std::string> Run() {
    std::string error;
    if (!ReadArchiveListing(archive_, &listing_, &error)) {
      problems_.push_back(error);
      return problems_;
    }
    const int ini = FindEntry(kUpdateIni);
    if (ini < 0) {
      problems_.push_back(
          "the archive holds no \"UPDATE.INI\", the description every updater "
          "starts from");
      return problems_;
    }
    std::vector<uint8_t> content;
    if (!ReadArchiveContent(archive_, listing_, size_t(ini), &content, &error)) {
      problems_.push_back("UPDATE.INI cannot be read: " + error);
      return problems_;
    }
    ini_.assign(content.begin(), content.end());
    CheckSetup();
    CheckUpdateLines();
    CheckCopyLines();
    return problems_;
  }

 private:
  // The first entry of that name, compared as the updater compares.
  int FindEntry(const char* name) const {
    for (size_t i = 0; i < listing_.entries.size(); ++i) {
      if (EntryNameIsTerminated(listing_.entries[i]) &&
          CompareCp932IgnoringCase(listing_.entries[i].name, name) == 0) {
        return int(i);
      }
    }
    return -1;
  }

  // A key as ReadUpdateKey gets it into `size` bytes; false when it is
  // missing or empty.
  bool Read(const char* section, const char* key, char* buffer, uint32_t size) const {
    std::string_view value;
    buffer[0] = '\0';
    if (!FindProfileValue(ini_, section, key, &value)) return false;
    return CopyProfileValue(value, buffer, size) > 0;
  }

  void Problem(const std::string& text) { problems_.push_back("UPDATE.INI: " + text); }

  void CheckSetup() {
    char value[kPathSize];
    for (const char* key : kRequiredSetupKeys) {
      if (!Read("SETUP", key, value, sizeof value)) {
        Problem(std::string("[SETUP] has no ") + key +
                " (or it is empty); the updater stops without it");
      }
    }
    if (Read("SETUP", "DataFolder", value, sizeof value) && !IsContainedRelativePath(value)) {
      Problem("[SETUP] DataFolder " + Shown(value) + " " + kLeavesInstallation);
    }
    for (const char* key : kAgreementKeys) {
      if (Read("SETUP", key, value, sizeof value) && FindEntry(value) < 0) {
        Problem(std::string("[SETUP] ") + key + " names the entry " + Shown(value) +
                ", which the archive does not hold");
      }
    }
  }

  void CheckUpdateLines() {
    for (int i = 0; i < kMaxUpdateLines; ++i) {
      char key[32];
      std::snprintf(key, sizeof key, "UpdateFile%02d", i);
      char line[kLongTextSize];
      if (!Read("UPDATE", key, line, sizeof line)) break;
      ++lines_;
      const std::string whole = line;
      UpdateLine parsed;
      ParseUpdateLine(line, &parsed);
      const std::string where = std::string(key) + " " + Shown(whole);
      if (std::strlen(parsed.path) >= size_t(kPathSize)) {
        Problem(where + ": its path is longer than the updater's 259 bytes");
        continue;
      }
      if (!IsContainedRelativePath(parsed.path)) {
        Problem(where + ": its path " + kLeavesInstallation);
        continue;
      }
      if (parsed.mode == kModeExistTest) continue;  // a test of the installation, no entry
      const char* name = parsed.path + FileNameOffset(parsed.path);
      if (*name == '\0') {
        Problem(where + ": its path names no file");
      } else if (FindEntry(name) < 0) {
        Problem(where + " names the entry " + Shown(name) + ", which the archive does not hold");
      }
    }
  }

  // Copy lines name files on the game's disc, not entries; what is checked is
  // what the updater refuses whatever the disc holds.
  void CheckCopyLines() {
    bool discBefore[10] = {};  // per install mode: an applying line came before
    for (int i = 0; i < kMaxCopyLines; ++i) {
      char key[32];
      std::snprintf(key, sizeof key, "CopyFile%02d", i);
      char value[kLongTextSize];
      if (!Read("UPDATE", key, value, sizeof value)) break;
      ++lines_;
      CopyLine parsed;
      ParseCopyLine(value, &parsed);
      const std::string where = std::string(key) + " " + Shown(value);
      if (std::strlen(value) >= size_t(kPathSize)) {
        Problem(where + ": it is longer than the updater's 259 bytes");
        continue;
      }
      if (parsed.disc < 0 || parsed.disc >= kDiskCheckFileCount) {
        Problem(where + ": its disc number is not a digit 0-9");
        continue;
      }
      if (parsed.name[0] != '\0' && !IsContainedRelativePath(parsed.name)) {
        Problem(where + ": its name " + kLeavesInstallation);
        continue;
      }
      for (int mode = 0; mode < 10; ++mode) {
        if (parsed.hasInstallMode && parsed.installMode != mode) continue;
        if (parsed.disc == 0 && !discBefore[mode]) {
          Problem(where +
                  ": it names no disc (\"1:\" before the name), and no line before it "
                  "gives one");
          break;
        }
        discBefore[mode] = true;
      }
    }
    if (lines_ == 0) Problem("[UPDATE] has neither UpdateFile00 nor CopyFile00: nothing to do");
  }

  const ArchiveBytes& archive_;
  ArchiveListing listing_;
  std::string ini_;
  int lines_ = 0;
  std::vector<std::string> problems_;
};

}  // namespace

std::vector<std::string> CheckRelease(const ArchiveBytes& archive) {
  // The updater's line readers walk Shift-JIS text and compare names through
  // the platform table; the tool gives them the host's code page 932
  // functions (on the host the table's calling convention is the default).
  platform.CharNextA = [](const char* text) { return const_cast<char*>(NextCp932Char(text)); };
  platform.IsDBCSLeadByte = [](uint8_t byte) -> win::Bool { return IsCp932LeadByte(byte) ? 1 : 0; };
  platform.lstrcmpiA = CompareCp932IgnoringCase;
  return ReleaseChecker(archive).Run();
}
