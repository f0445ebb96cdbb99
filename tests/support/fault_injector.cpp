#include "tests/support/fault_injector.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "core/platform.h"
#include "core/platform_functions.h"
#include "core/system_functions.h"

namespace {

using AnyFunction = void (*)();

struct HookedEntry {
  const char* name;
  void* slot;  // the table's field
  AnyFunction real;
  AnyFunction wrapper;
  intptr_t failure;  // the entry's failure result
  int calls;
  int failAt;  // 0: none
  bool lasting;
  bool releases;  // a close: a failed one has still let go of its object
};

// Each entry's place among the hooks, in the order of the list.
enum HookIndex {
#define UPDATER_HOOK_INDEX(table, library, fragments, result, name, parameters, failure) \
  kHook##name,
  UPDATER_PLATFORM_FUNCTIONS(UPDATER_HOOK_INDEX)
#undef UPDATER_HOOK_INDEX
      kHookCount
};

HookedEntry hooked[kHookCount];
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
    const auto real = reinterpret_cast<R(WINAPI_CC*)(A...)>(e.real);
    if (!Trip(e)) return real(arguments...);
    // A close that reports a failure has let go of what it closed all the
    // same (the caller cannot close it again); other calls fail without
    // reaching the real function.
    if (e.releases) real(arguments...);
    return Failure<R>(e.failure);
  }
};

// Wraps the entry in its table's field `slot`; the entries looked up by
// name each time they are used have none (nullptr), and are wrapped when
// they are looked up. Entries that report no failure stay as they are.
template <int N, typename Function>
void Hook(const char* name, Function* slot, intptr_t failure) {
  if (failure == platform_failure::kCannotFail) return;
  hooked[N] =
      HookedEntry{name,
                  slot,
                  slot != nullptr ? reinterpret_cast<AnyFunction>(*slot) : nullptr,
                  reinterpret_cast<AnyFunction>(&Wrapper<N, Function>::Call),
                  failure,
                  0,
                  0,
                  false,
                  std::strcmp(name, "CloseHandle") == 0 || std::strcmp(name, "RegCloseKey") == 0 ||
                      std::strcmp(name, "FindClose") == 0};
  if (slot != nullptr) *slot = &Wrapper<N, Function>::Call;
}

HookedEntry* Find(const std::string& name) {
  for (HookedEntry& e : hooked) {
    if (e.name != nullptr && name == e.name) return &e;
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

}  // namespace

FaultInjector::FaultInjector() {
  savedSystem = systemFunctions;
  savedPlatform = platform;
  SystemFunctionTable& s = systemFunctions;
  PlatformOperations& p = platform;
  using namespace platform_failure;
  // Every entry of the list that can fail, but GetProcAddress: the
  // injector answers it itself, handing out the wrapped functions.
#define UPDATER_HOOK(table, library, fragments, result, name, parameters, failure)     \
  if (kHook##name != kHookGetProcAddress) {                                            \
    Hook<kHook##name, result(WINAPI_CC*) parameters>(                                  \
        #name, UPDATER_BY_TABLE_##table(&p.name, &s.name, nullptr, nullptr), failure); \
  }
  UPDATER_PLATFORM_FUNCTIONS(UPDATER_HOOK)
#undef UPDATER_HOOK
  p.GetProcAddress = InterceptingGetProcAddress;
  Reset();
}

FaultInjector::~FaultInjector() {
  systemFunctions = savedSystem;
  platform = savedPlatform;
  observer = nullptr;
  for (HookedEntry& e : hooked) e = HookedEntry{};
}

void FaultInjector::FailAt(const std::string& entry, int n, bool lasting) {
  HookedEntry* e = Find(entry);
  ASSERT_NE(nullptr, e) << "no table entry " << entry;
  e->failAt = n;
  e->lasting = lasting;
}

void FaultInjector::Reset() {
  for (HookedEntry& e : hooked) {
    e.calls = 0;
    e.failAt = 0;
    e.lasting = false;
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
      "CreateFileA",      "WriteFile",          "ReadFile",           "GetFileSize",
      "SetFilePointer",   "SetFileAttributesA", "GetFileAttributesA", "DeleteFileA",
      "CreateDirectoryA", "GetFileTime",        "SetFileTime",        "MoveFileExA",
      "FlushFileBuffers", "RemoveDirectoryA"};
  return entries;
}

const std::vector<std::string>& FaultInjector::AllEntries() {
  static const std::vector<std::string> entries = [] {
    std::vector<std::string> names;
    using namespace platform_failure;
#define UPDATER_FAILING_NAME(table, library, fragments, result, name, parameters, failure) \
  if (intptr_t(failure) != kCannotFail && kHook##name != kHookGetProcAddress)              \
    names.push_back(#name);
    UPDATER_PLATFORM_FUNCTIONS(UPDATER_FAILING_NAME)
#undef UPDATER_FAILING_NAME
    return names;
  }();
  return entries;
}
