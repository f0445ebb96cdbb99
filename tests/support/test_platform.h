// Test support: the real POSIX platform over temporary folders, with every
// table entry replaceable for fault injection.
//
// UpdaterTest installs the POSIX platform, maps drive C: to a fresh temporary
// folder, records message boxes instead of showing them, and puts the
// updater's state and both tables back after each test.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/platform.h"
#include "core/system_functions.h"
#include "core/updater_state.h"

struct RecordedMessageBox {
  std::string text;     // code page 932 bytes
  std::string caption;  // code page 932 bytes
  win::Hwnd owner;
  win::Uint type;
};

class UpdaterTest : public ::testing::Test {
 public:
  // Message boxes shown so far, and the answers given to the next ones
  // (IDOK when the queue is empty).
  static std::vector<RecordedMessageBox> messages;
  static std::vector<int> answers;

 protected:
  void SetUp() override;
  void TearDown() override;

  // Host folder behind drive C:.
  const std::string& DriveC() const { return driveC_; }
  // Host path of the DOS path "C:\<relative>" (relative uses backslashes).
  std::string HostPath(const std::string& dosPath) const;

  // Resolves the system function table through the POSIX loader.
  void ResolveTables();
  // Makes `image` the locked archive and opens its directory; false when
  // OpenArchive refuses it.
  bool UseArchive(const std::vector<uint8_t>& image);
  // Makes `bytes` (code page 932) the UPDATE.INI that the run reads, as the
  // updater keeps it from its archive.
  void UseUpdateIni(const std::string& bytes);

 private:
  std::string driveC_;
  PlatformOperations savedPlatform_;
  SystemFunctionTable savedSystem_;
  std::vector<uint8_t> image_;
};

// File helpers on host paths.
std::string ReadHostFile(const std::string& hostPath);
void WriteHostFile(const std::string& hostPath, const std::string& content);
bool HostFileExists(const std::string& hostPath);
// Calls `visit` with every file and folder below `root`/`relative`
// (`relative` empty or ending in '/'), each by its path relative to `root`,
// folders ending in '/'; nothing when that folder is missing.
void ForEachHostFile(const std::string& root, const std::string& relative,
                     const std::function<void(const std::string& path, const struct stat&)>& visit);

// UTF-8 to code page 932, for writing expectations in readable form.
std::string Sjis(const std::string& utf8);
