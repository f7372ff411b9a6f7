// The file store: the client passwords and KOR's settings in one REGEDIT4
// file, in the layout the registry store keeps them in, read and replaced
// whole under a lock. Also the two layouts on their own, for korvel's
// exports and imports.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "FileIO.h"
#include "PasswordStore.h"
#include "RegFile.h"
#include "WinPassSettings.h"

namespace korvel {

// One REGEDIT4 file. The path's links are followed, so a linked store is
// written where it really is. Loads and saves lock a companion file
// (PATH.lock): shared for reading, exclusive for writing, waiting at most
// `lockWait` for another process. A save writes a new file beside PATH,
// flushes it to disk and renames it over PATH, so the file is always either
// the old store or the new one, whole, with its owner and mode kept. A file
// that could not be read cleanly is copied to PATH.bad before a save
// replaces it; a file that exists but cannot be read at all, or is no store
// file, is never written.
class TFileStore final : public TPasswordStore, public TKorSettingsStore {
 public:
  explicit TFileStore(std::string path, std::chrono::milliseconds lockWait = kStoreLockWait)
      : Path(std::move(path)), LockWait(lockWait) {}

  bool Load(TStoredPasswords& stored, std::string& problem) override;
  int Save(const TStoredPasswords& next, const TStoredPasswords* expected,
           std::string& problem) override;
  std::string Where() override { return Path + " (a store file)\n"; }
  void SetLockWait(std::chrono::milliseconds wait) override { LockWait = wait; }
  void Load(TKorSettings& settings) override;
  bool Save(const TKorSettings& settings) override;

  const std::string& FilePath() const { return Path; }

 private:
  struct TOpened;
  bool Open(bool write, TOpened& file, std::string& problem) const;
  bool Commit(TOpened& file, std::string& problem) const;

  std::string Path;
  std::chrono::milliseconds LockWait;
};

// $KORVEL_STORE, else korvel/registry.reg in the user's settings folder
// ($XDG_CONFIG_HOME, else $HOME/.config; %APPDATA% on Windows); empty when
// none of them can be found.
std::string DefaultFileStorePath();
// The file store at DefaultFileStorePath(); null when there is no such place.
std::unique_ptr<TFileStore> MakeDefaultFileStore();

// The client passwords in a tree of keys whose root holds HKEY_LOCAL_MACHINE.
// Reading takes a complete copy left by a registry save that did not finish
// before the list beside it; a key without values reads as empty texts.
void ReadPasswords(const TRegNode& root, TStoredPasswords& stored);
void WritePasswords(TRegNode& root, const TStoredPasswords& stored);
// KOR's settings values in such a tree.
TKorStoredValues ReadKorValues(const TRegNode& root);
void WriteKorValues(TRegNode& root, const TKorStoredValues& values);

}  // namespace korvel
