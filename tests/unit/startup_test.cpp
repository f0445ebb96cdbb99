// The ways out of the updater's start-up, over the real POSIX platform with
// single entries replaced to reach each failure.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <fstream>

#include "authoring/archive_writer.h"
#include "core/updater_main.h"
#include "platform/posix/appended_resource.h"
#include "platform/posix/posix_functions.h"
#include "tests/support/test_platform.h"
#include "texts.h"

namespace {

// A file with `resource` appended under `type` / `id`, as the POSIX build
// carries its archive, opened as a module.
win::Hmodule ModuleWith(const std::string& hostPath, const std::vector<uint8_t>& resource,
                        const std::string& type = "UPDATE", uint32_t id = 102) {
  std::ofstream out(hostPath, std::ios::binary);
  out << "not an executable, just the bytes before the resources";
  out.write(reinterpret_cast<const char*>(resource.data()), std::streamsize(resource.size()));
  AppendedResourceTrailer trailer = MakeAppendedResourceTrailer(type, id, uint32_t(resource.size()));
  out.write(reinterpret_cast<const char*>(&trailer), sizeof trailer);
  out.close();
  return PosixModuleForFile(hostPath.c_str());
}

std::vector<uint8_t> ArchiveOf(const std::vector<std::pair<std::string, std::string>>& files) {
  std::vector<ArchiveItem> items;
  for (const auto& f : files) {
    ArchiveItem item;
    item.name = f.first;
    item.data.assign(f.second.begin(), f.second.end());
    item.scramble = true;
    items.push_back(item);
  }
  ArchiveOptions options;
  options.directory = DirectoryForm::kScrambled;
  std::vector<uint8_t> image;
  std::string error;
  EXPECT_TRUE(BuildArchive(items, options, &image, &error)) << error;
  return image;
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

class Startup : public UpdaterTest, public ::testing::WithParamInterface<StartupCase> {
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
    ::testing::Values(
        StartupCase{"a function of the table is missing", "RegCloseKey", kGoodArchive, "UPDATE",
                    kMsgCouldNotMapFunctions},
        StartupCase{"the first function is missing", "CreateFileA", kGoodArchive, "UPDATE",
                    kMsgCouldNotMapFunctions},
        StartupCase{"no archive resource", nullptr, {}, "OTHER", nullptr},
        StartupCase{"id 102 under another type", nullptr, kGoodArchive, "UPDATES", nullptr},
        StartupCase{"empty archive resource", nullptr, {}, "UPDATE", nullptr},
        StartupCase{"a resource function is missing", "LockResource", kGoodArchive, "UPDATE",
                    nullptr},
        StartupCase{"not an archive", nullptr, std::vector<uint8_t>(64, 7), "UPDATE",
                    kMsgResourceReadError},
        StartupCase{"no UPDATE.INI in the archive", nullptr, ArchiveOf({{"x.dat", "x"}}),
                    "UPDATE", kMsgEntryNotFound}));

TEST_F(Startup, UpdateIniExistsDuringTheRunAndIsGoneAfterIt) {
  win::Hmodule module = ModuleWith(DriveC() + "/updater", kGoodArchive);
  EXPECT_EQ(0, RunUpdater(module));
  ASSERT_TRUE(sawFirstBox);
  EXPECT_EQ("[SETUP]\r\n", iniDuringFirstBox);
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
