#include "tests/support/fault_injector.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "core/platform.h"
#include "core/system_functions.h"

namespace {

using AnyFunction = void (*)();

struct HookedEntry {
  const char* name;
  void* slot;          // the table's field
  AnyFunction real;
  AnyFunction wrapper;
  intptr_t failure;    // the entry's failure result
  int calls;
  int failAt;          // 0: none
  bool lasting;
};

constexpr int kMaxEntries = 48;
HookedEntry hooked[kMaxEntries];
int hookedCount = 0;
bool fired = false;
std::function<void(const std::string&, int)> observer;

// True when this call is to fail.
bool Trip(HookedEntry& e) {
  ++e.calls;
  if (observer) observer(e.name, e.calls);
  bool fail = e.failAt != 0 && (e.calls == e.failAt || (e.lasting && e.calls > e.failAt));
  fired |= fail;
  return fail;
}

template <typename R>
R Failure(intptr_t value) {
  if constexpr (std::is_pointer_v<R>) {
    return reinterpret_cast<R>(value);
  } else {
    return R(value);
  }
}

template <int N, typename Function>
struct Wrapper;
template <int N, typename R, typename... A>
struct Wrapper<N, R(WINAPI_CC*)(A...)> {
  static R WINAPI_CC Call(A... arguments) {
    HookedEntry& e = hooked[N];
    if (Trip(e)) return Failure<R>(e.failure);
    return reinterpret_cast<R(WINAPI_CC*)(A...)>(e.real)(arguments...);
  }
};

template <int N, typename Function>
void Hook(const char* name, Function* slot, intptr_t failure) {
  static_assert(N < kMaxEntries);
  hooked[N] = HookedEntry{name,    slot, reinterpret_cast<AnyFunction>(*slot),
                          reinterpret_cast<AnyFunction>(&Wrapper<N, Function>::Call),
                          failure, 0,    0,     false};
  *slot = &Wrapper<N, Function>::Call;
  if (N + 1 > hookedCount) hookedCount = N + 1;
}

HookedEntry* Find(const std::string& name) {
  for (int i = 0; i < hookedCount; ++i) {
    if (name == hooked[i].name) return &hooked[i];
  }
  return nullptr;
}

SystemFunctionTable savedSystem;
PlatformOperations savedPlatform;

// The system function table is filled by name at start-up: a wrapped
// function is handed out in place of the real one, which it then calls.
void* WINAPI_CC InterceptingGetProcAddress(win::Hmodule module, const char* name) {
  void* real = savedPlatform.GetProcAddress(module, name);
  HookedEntry* e = real != nullptr ? Find(name) : nullptr;
  if (e == nullptr) return real;
  e->real = reinterpret_cast<AnyFunction>(real);
  return reinterpret_cast<void*>(e->wrapper);
}

constexpr intptr_t kInvalid32 = intptr_t(0xFFFFFFFFu);
constexpr intptr_t kRegistryFailure = 5;  // ERROR_ACCESS_DENIED

}  // namespace

FaultInjector::FaultInjector() {
  savedSystem = systemFunctions;
  savedPlatform = platform;
  SystemFunctionTable& s = systemFunctions;
  PlatformOperations& p = platform;
  Hook<0>("CreateFileA", &s.CreateFileA, -1);
  Hook<1>("WriteFile", &s.WriteFile, 0);
  Hook<2>("ReadFile", &s.ReadFile, 0);
  Hook<3>("GetFileSize", &s.GetFileSize, kInvalid32);
  Hook<4>("SetFilePointer", &s.SetFilePointer, kInvalid32);
  Hook<5>("CloseHandle", &s.CloseHandle, 0);
  Hook<6>("SetFileAttributesA", &s.SetFileAttributesA, 0);
  Hook<7>("GetFileAttributesA", &s.GetFileAttributesA, kInvalid32);
  Hook<8>("SHFileOperationA", &s.SHFileOperationA, 1);
  Hook<9>("RegOpenKeyExA", &s.RegOpenKeyExA, kRegistryFailure);
  Hook<10>("RegQueryValueExA", &s.RegQueryValueExA, kRegistryFailure);
  Hook<11>("RegCloseKey", &s.RegCloseKey, kRegistryFailure);
  Hook<12>("GlobalAlloc", &p.GlobalAlloc, 0);
  Hook<13>("GetTempPathA", &p.GetTempPathA, 0);
  Hook<14>("DeleteFileA", &p.DeleteFileA, 0);
  Hook<15>("GetDiskFreeSpaceExA", &p.GetDiskFreeSpaceExA, 0);
  Hook<16>("GetDriveTypeA", &p.GetDriveTypeA, 0);
  Hook<17>("CreateDirectoryA", &p.CreateDirectoryA, 0);
  Hook<18>("GetFileTime", &p.GetFileTime, 0);
  Hook<19>("SetFileTime", &p.SetFileTime, 0);
  Hook<20>("MoveFileExA", &p.MoveFileExA, 0);
  Hook<21>("FlushFileBuffers", &p.FlushFileBuffers, 0);
  Hook<22>("RemoveDirectoryA", &p.RemoveDirectoryA, 0);
  Hook<23>("GetPrivateProfileStringA", &p.GetPrivateProfileStringA, 0);
  Hook<24>("MessageBoxA", &p.MessageBoxA, 0);
  Hook<25>("DialogBoxParamA", &p.DialogBoxParamA, -1);
  p.GetProcAddress = InterceptingGetProcAddress;
  Reset();
}

FaultInjector::~FaultInjector() {
  systemFunctions = savedSystem;
  platform = savedPlatform;
  observer = nullptr;
  hookedCount = 0;
}

void FaultInjector::FailAt(const std::string& entry, int n, bool lasting) {
  HookedEntry* e = Find(entry);
  ASSERT_NE(nullptr, e) << "no table entry " << entry;
  e->failAt = n;
  e->lasting = lasting;
}

void FaultInjector::Reset() {
  for (int i = 0; i < hookedCount; ++i) {
    hooked[i].calls = 0;
    hooked[i].failAt = 0;
    hooked[i].lasting = false;
  }
  fired = false;
}

int FaultInjector::Calls(const std::string& entry) const {
  const HookedEntry* e = Find(entry);
  return e != nullptr ? e->calls : -1;
}

bool FaultInjector::Fired() const { return fired; }

void FaultInjector::Observe(std::function<void(const std::string&, int)> watcher) {
  observer = std::move(watcher);
}

const std::vector<std::string>& FaultInjector::FileEntries() {
  static const std::vector<std::string> entries = {
      "CreateFileA",  "WriteFile",        "ReadFile",         "GetFileSize",
      "SetFilePointer", "SetFileAttributesA", "GetFileAttributesA", "DeleteFileA",
      "CreateDirectoryA", "GetFileTime",  "SetFileTime",      "MoveFileExA",
      "FlushFileBuffers", "RemoveDirectoryA"};
  return entries;
}
