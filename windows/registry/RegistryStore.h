// The registry store of the Windows builds: the client passwords and KOR's
// settings under HKEY_LOCAL_MACHINE in the registry's 32-bit view (one store
// for 32-bit and 64-bit programs), or, for an account that may not write
// there, in a copy of its own under HKEY_CURRENT_USER; written directly
// through advapi32.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>

#include "FileIO.h"
#include "PasswordStore.h"
#include "WinPassSettings.h"

namespace korvel {

// Keys are opened for reading, or for reading and writing where a save
// writes, never with full access. Loads and saves hold a named mutex so
// that load-modify-save cycles of several processes take turns, waiting at
// most `lockWait` for it: a load then reads without it, a save fails.
class TRegistryStore final : public TPasswordStore, public TKorSettingsStore {
 public:
  explicit TRegistryStore(std::chrono::milliseconds lockWait = kStoreLockWait)
      : LockWait(lockWait) {}

  bool Load(TStoredPasswords& stored, std::string& problem) override;
  // The registry takes each write as it comes, so a save cut short (the
  // program killed, the machine off) could leave part of a list. Before the
  // list is taken apart it is copied beside it and the copy marked complete
  // by its last value; until the save has finished, loads read the copy.
  int Save(const TStoredPasswords& next, const TStoredPasswords* expected,
           std::string& problem) override;
  std::string Where() override;
  void SetLockWait(std::chrono::milliseconds wait) override { LockWait = wait; }
  void Load(TKorSettings& settings) override;
  bool Save(const TKorSettings& settings) override;

 private:
  std::chrono::milliseconds LockWait;
};

// Every registry write of a save passes through a hook that tests set, to
// make a chosen one fail as the registry would. An empty hook lets all run.
void SetRegistryWriteHook(std::function<bool()> hook);

// Every key opened or made right below a hive passes through a hook that tests
// set, to refuse it as Windows refuses an account without the rights: it
// answers ERROR_SUCCESS to let the registry decide, or the error to give.
void SetRegistryAccessHook(std::function<LONG(HKEY hive, REGSAM rights)> hook);

// Whether Windows virtualises this process's registry writes (the token's
// TokenVirtualizationEnabled), or, with a hook set, what the hook says: tests
// act as an old host program this way.
void SetRegistryVirtualizationHook(std::function<bool()> hook);

}  // namespace korvel
