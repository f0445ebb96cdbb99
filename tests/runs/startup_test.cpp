// The ways out of the updater's start-up, over the real POSIX platform with
// single entries replaced to reach each failure.
#include <dirent.h>
#include <gtest/gtest.h>
#include <openssl/sha.h>
#include <sys/stat.h>

#include <cstring>

#include "entry/updater_main.h"
#include "platform/posix/posix_functions.h"
#include "tests/support/test_platform.h"
#include "tests/support/test_updater_file.h"
#include "texts.h"

namespace {

// A file with `resource` appended under `type` / `id`.
win::Hmodule ModuleWith(const std::string& hostPath, const std::vector<uint8_t>& resource,
                        const std::string& type = "UPDATE", uint32_t id = 102) {
  return ModuleWithResources(hostPath, {{type, id, resource}});
}

std::vector<uint8_t> Sha256Of(const std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> digest(SHA256_DIGEST_LENGTH);
  SHA256(bytes.data(), bytes.size(), digest.data());
  return digest;
}

// Names in a host folder.
std::vector<std::string> FolderNames(const std::string& hostPath) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(hostPath.c_str())) {
    while (dirent* e = readdir(dir)) {
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
        names.push_back(e->d_name);
      }
    }
    closedir(dir);
  }
  return names;
}

const char* withheldName = nullptr;
void* WINAPI_CC LookupWithholding(win::Hmodule module, const char* name) {
  if (withheldName != nullptr && std::strcmp(name, withheldName) == 0) return nullptr;
  return PosixGetProcAddress(module, name);
}

// What the temp folder held while the first message box was open.
std::string iniDuringFirstBox;
bool sawFirstBox = false;
std::string tempIniHostPath;

struct StartupCase {
  const char* what;
  const char* withheld;  // a function name the loader does not find
  std::vector<uint8_t> resource;
  std::string type;
  const char* lastMessage;  // nullptr: no message at all
};

// The real POSIX platform with a temp folder of its own and message boxes
// recorded.
class StartupTest : public UpdaterTest {
 protected:
  void SetUp() override {
    UpdaterTest::SetUp();
    ASSERT_EQ(0, mkdir((DriveC() + "/tmp").c_str(), 0777));
    setenv("TMPDIR", (DriveC() + "/tmp").c_str(), 1);
    tempIniHostPath = DriveC() + "/tmp/UPDATE.INI";
    iniDuringFirstBox.clear();
    sawFirstBox = false;
    withheldName = nullptr;
    platform.GetProcAddress = LookupWithholding;
    platform.MessageBoxA = [](win::Hwnd owner, const char* text, const char* caption,
                              win::Uint type) -> int {
      if (!sawFirstBox) {
        sawFirstBox = true;
        iniDuringFirstBox = ReadHostFile(tempIniHostPath);
      }
      messages.push_back({text, caption, owner, type});
      return win::kIdOk;
    };
  }
  void TearDown() override {
    unsetenv("TMPDIR");
    UpdaterTest::TearDown();
  }
};

class Startup : public StartupTest, public ::testing::WithParamInterface<StartupCase> {};

TEST_P(Startup, EndsWithItsMessageAndCleansUp) {
  const StartupCase& c = GetParam();
  withheldName = c.withheld;
  win::Hmodule module = ModuleWith(DriveC() + "/updater", c.resource, c.type);

  EXPECT_EQ(0, RunUpdater(module)) << c.what;

  if (c.lastMessage == nullptr) {
    EXPECT_TRUE(messages.empty()) << c.what;
  } else {
    ASSERT_FALSE(messages.empty()) << c.what;
    EXPECT_EQ(std::string(c.lastMessage), messages.back().text) << c.what;
    EXPECT_EQ(nullptr, messages.back().owner);
    EXPECT_EQ(win::kMbOk | win::kMbIconError, messages.back().type);
    EXPECT_EQ("UPDATE", messages.back().caption);
  }
  EXPECT_FALSE(HostFileExists(tempIniHostPath)) << c.what;
  EXPECT_EQ(nullptr, updaterState.archiveDirectory);
}

const std::vector<uint8_t> kGoodArchive = ArchiveOf({{"UPDATE.INI", "[SETUP]\r\n"}});

INSTANTIATE_TEST_SUITE_P(
    WaysOut, Startup,
    ::testing::Values(StartupCase{"a function of the table is missing", "RegCloseKey", kGoodArchive,
                                  "UPDATE", kMsgCouldNotMapFunctions},
                      StartupCase{"the first function is missing", "CreateFileA", kGoodArchive,
                                  "UPDATE", kMsgCouldNotMapFunctions},
                      StartupCase{"no archive resource", nullptr, {}, "OTHER", nullptr},
                      StartupCase{"id 102 under another type", nullptr, kGoodArchive, "UPDATES",
                                  nullptr},
                      StartupCase{"empty archive resource", nullptr, {}, "UPDATE", nullptr},
                      StartupCase{"a resource function is missing", "LockResource", kGoodArchive,
                                  "UPDATE", nullptr},
                      StartupCase{"not an archive", nullptr, std::vector<uint8_t>(64, 7), "UPDATE",
                                  kMsgResourceReadError},
                      StartupCase{"no UPDATE.INI in the archive", nullptr,
                                  ArchiveOf({{"x.dat", "x"}}), "UPDATE", kMsgEntryNotFound}));

// An updater whose archive does not match the digest it carries is refused
// before anything is read from the archive: one message, nothing written.
struct DigestCase {
  const char* what;
  size_t damagedByte;  // offset in the archive changed after hashing; npos: none
  std::vector<uint8_t> (*digestOf)(const std::vector<uint8_t>& archive);  // nullptr: no digest
  const char* withheld;  // a function name the loader does not find
  bool refused;
};

constexpr size_t kIntact = std::string::npos;
std::vector<uint8_t> RightDigest(const std::vector<uint8_t>& a) { return Sha256Of(a); }
std::vector<uint8_t> ShortDigest(const std::vector<uint8_t>& a) {
  std::vector<uint8_t> d = Sha256Of(a);
  d.pop_back();
  return d;
}
std::vector<uint8_t> LongDigest(const std::vector<uint8_t>& a) {
  std::vector<uint8_t> d = Sha256Of(a);
  d.push_back(0);
  return d;
}
std::vector<uint8_t> WrongDigest(const std::vector<uint8_t>& a) {
  std::vector<uint8_t> d = Sha256Of(a);
  d[31] ^= 1;
  return d;
}

class ArchiveDigest : public StartupTest, public ::testing::WithParamInterface<DigestCase> {};

// An archive with a game file, and where its parts lie.
const std::vector<uint8_t> kGameArchive =
    ArchiveOf({{"UPDATE.INI", "[SETUP]\r\n"}, {"game.dat", std::string(4000, 'g')}});
const size_t kHeaderByte = 4;  // the directory flags
const size_t kDataByte = 20;   // inside the first entry's stored bytes
const size_t kDirectoryByte = [] {
  uint32_t directoryOffset;
  std::memcpy(&directoryOffset, kGameArchive.data() + 8, 4);
  return size_t(directoryOffset) + 3;
}();

TEST_P(ArchiveDigest, IsCheckedBeforeTheArchiveIsRead) {
  const DigestCase& c = GetParam();
  withheldName = c.withheld;
  std::vector<AppendedResource> resources{{"UPDATE", 102, kGameArchive}};
  if (c.digestOf != nullptr) resources.push_back({"UPDATE", 103, c.digestOf(kGameArchive)});
  if (c.damagedByte != kIntact) resources[0].bytes[c.damagedByte] ^= 0x40;
  win::Hmodule module = ModuleWithResources(DriveC() + "/updater", resources);

  EXPECT_EQ(0, RunUpdater(module)) << c.what;

  ASSERT_FALSE(messages.empty()) << c.what;
  if (c.refused) {
    ASSERT_EQ(1u, messages.size()) << c.what;
    EXPECT_EQ(std::string(kMsgUpdaterDamaged), messages[0].text) << c.what;
    EXPECT_EQ("UPDATE", messages[0].caption);
    EXPECT_EQ(nullptr, messages[0].owner);
    EXPECT_EQ(win::kMbOk | win::kMbIconError, messages[0].type);
    EXPECT_FALSE(sawFirstBox && !iniDuringFirstBox.empty()) << "UPDATE.INI was written";
  } else {
    // Past the check the run goes on to read UPDATE.INI, which lacks the
    // installation's keys.
    EXPECT_NE(std::string(kMsgUpdaterDamaged), messages[0].text) << c.what;
    EXPECT_EQ("[SETUP]\r\n", iniDuringFirstBox) << c.what;
  }
  EXPECT_TRUE(FolderNames(DriveC() + "/tmp").empty()) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ArchiveDigest,
    ::testing::Values(
        DigestCase{"an intact archive and its digest", kIntact, RightDigest, nullptr, false},
        DigestCase{"no digest (an updater made without one)", kIntact, nullptr, nullptr, false},
        DigestCase{"a damaged byte in the header", kHeaderByte, RightDigest, nullptr, true},
        DigestCase{"a damaged byte in the data area", kDataByte, RightDigest, nullptr, true},
        DigestCase{"a damaged byte in the directory", kDirectoryByte, RightDigest, nullptr, true},
        DigestCase{"a digest that differs", kIntact, WrongDigest, nullptr, true},
        DigestCase{"a digest one byte short", kIntact, ShortDigest, nullptr, true},
        DigestCase{"a digest one byte long", kIntact, LongDigest, nullptr, true},
        DigestCase{"the system cannot hash", kIntact, RightDigest, "BCryptHashData", true}));

TEST_F(Startup, UpdateIniExistsDuringTheRunAndIsGoneAfterIt) {
  win::Hmodule module = ModuleWith(DriveC() + "/updater", kGoodArchive);
  EXPECT_EQ(0, RunUpdater(module));
  ASSERT_TRUE(sawFirstBox);
  EXPECT_EQ("[SETUP]\r\n", iniDuringFirstBox);
  EXPECT_FALSE(HostFileExists(tempIniHostPath));
}

// Starts killed while they wrote UPDATE.INI left "~upd0000.tmp" and
// "~upd0001.tmp"; the next start removes them, and nothing past the first
// free name (not left by a start of ours).
TEST_F(Startup, TemporaryFilesOfKilledStartsAreRemoved) {
  for (const char* name : {"~upd0000.tmp", "~upd0001.tmp", "~upd0003.tmp"}) {
    WriteHostFile(DriveC() + "/tmp/" + name, "left");
  }
  win::Hmodule module = ModuleWith(DriveC() + "/updater", kGoodArchive);
  RunUpdater(module);
  EXPECT_FALSE(HostFileExists(DriveC() + "/tmp/~upd0000.tmp"));
  EXPECT_FALSE(HostFileExists(DriveC() + "/tmp/~upd0001.tmp"));
  EXPECT_TRUE(HostFileExists(DriveC() + "/tmp/~upd0003.tmp"));
  EXPECT_FALSE(HostFileExists(tempIniHostPath));
}

TEST_F(Startup, ResolvingMakesEveryLookupAfterAFailure) {
  static int lookups;
  lookups = 0;
  platform.GetProcAddress = [](win::Hmodule module, const char* name) -> void* {
    ++lookups;
    return std::strcmp(name, "WriteFile") == 0 ? nullptr : PosixGetProcAddress(module, name);
  };
  EXPECT_EQ(0, ResolveSystemFunctions(PlatformLoader()));
  EXPECT_EQ(12, lookups);  // eight of KERNEL32, one of SHELL32, three of ADVAPI32
  EXPECT_NE(nullptr, systemFunctions.RegCloseKey);
}

TEST_F(Startup, ResolvingNeedsAllThreeLibraries) {
  platform.LoadLibraryA = [](const char* name) -> win::Hmodule {
    return std::strcmp(name, "SHELL32.DLL") == 0 ? nullptr : PosixLoadLibraryA(name);
  };
  EXPECT_EQ(0, ResolveSystemFunctions(PlatformLoader()));
}

}  // namespace
