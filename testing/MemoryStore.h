// A store held in memory, for tests: both store seams, and the faults a real
// store can have (unreadable, a write refused, another program's edit).
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "PasswordStore.h"
#include "WinPassSettings.h"

namespace korvel::test {

class TMemoryStore final : public TPasswordStore, public TKorSettingsStore {
 public:
  bool Load(TStoredPasswords& stored, std::string& problem) override;
  int Save(const TStoredPasswords& next, const TStoredPasswords* expected,
           std::string& problem) override;
  std::string Where() override { return "the test's memory\n"; }
  void SetLockWait(std::chrono::milliseconds wait) override { LockWait = wait; }
  void Load(TKorSettings& settings) override { settings = SettingsFromStored(Settings); }
  bool Save(const TKorSettings& settings) override;

  TStoredPasswords Passwords;  // what the store holds
  TKorStoredValues Settings;
  std::optional<std::string> Unreadable;  // loads fail with this, saves refuse
  std::string Note;                       // what a load of a damaged store says
  bool RefuseSaves = false;               // every save: kStoreNotWritable
  int RefuseRecord = -1;                  // saves stop at this record
  // Runs at the start of each save, as another program's edit would.
  std::function<void(TMemoryStore&)> BeforeSave;
  int SaveCalls = 0;  // saves asked for, written or not
  std::chrono::milliseconds LockWait{-1};  // as last set; -1: never set
  std::chrono::milliseconds SavedWithWait{-1};  // the lock wait of the last save
};

}  // namespace korvel::test
