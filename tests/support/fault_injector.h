// Fault injection over the platform tables: every function of the platform
// list (core/platform_functions.h) that can fail is wrapped so that its
// calls are counted by name, and the Nth call of a chosen entry fails (once,
// or from then on) with the failure result the list gives it, without
// reaching the real function (a close reaches it all the same: a close that
// fails has still let go of its object). The functions looked up by name are wrapped
// as they are looked up. An observer sees each call before it is made (a crash
// simulation ends the process there). The tables are restored when the
// injector goes.
#pragma once

#include <functional>
#include <string>
#include <vector>

class FaultInjector {
 public:
  // Wraps the entries of the tables as they are now.
  FaultInjector();
  ~FaultInjector();
  FaultInjector(const FaultInjector&) = delete;
  FaultInjector& operator=(const FaultInjector&) = delete;

  // Call `n` (counted from 1 since the last Reset) of `entry` fails; with
  // `lasting`, every later call fails too. An unknown name is a test error.
  void FailAt(const std::string& entry, int n, bool lasting = false);
  // No failure; every count back to 0.
  void Reset();
  int Calls(const std::string& entry) const;
  // True once a planned failure has happened.
  bool Fired() const;

  // Called before each call of an entry, with its name and its count.
  void Observe(std::function<void(const std::string& entry, int count)> observer);

  // Entries that read, write, rename or delete files and folders or read or
  // set their attributes or times.
  static const std::vector<std::string>& FileEntries();
  // Every entry that can fail, but GetProcAddress (which the injector
  // answers itself).
  static const std::vector<std::string>& AllEntries();
};
