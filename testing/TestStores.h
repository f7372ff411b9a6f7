// Stores for tests: every backend this platform has, each starting empty.
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "FileStore.h"
#include "MemoryStore.h"
#ifdef _WIN32
#include "RegistryStore.h"
#endif

namespace korvel::test {

// One store seen through both of its seams, and its keys as a tree (the
// root holds HKEY_LOCAL_MACHINE, and HKEY_CURRENT_USER where a store has it), for tests that look at the layout a store
// wrote or write what only a damaged or foreign store would hold.
struct TStores {
  std::shared_ptr<TPasswordStore> Passwords;
  std::shared_ptr<TKorSettingsStore> Settings;
  std::function<TRegNode()> ReadKeys;
  std::function<void(const TRegNode&)> WriteKeys;

  // Runs `edit` on the key at `path` below HKEY_LOCAL_MACHINE (made when
  // missing) and writes the keys back.
  void EditKey(const std::string& path, const std::function<void(TRegNode&)>& edit) const;
  // The key at `path` below HKEY_LOCAL_MACHINE, as the store holds it now.
  TRegNode Key(const std::string& path) const;
};

// A memory store whose keys are its records and settings in the stores' layout.
TStores MemoryStores();
// A file store at a path.
TStores FileStores(const std::string& path);
#ifdef _WIN32
// The registry store; SOFTWARE\Calvek of both hives removed first unless
// `clear` is false.
TStores RegistryStores(bool clear = true);
#endif

struct TStoreKind {
  std::string Name;
  std::function<TStores()> Make;
  friend void PrintTo(const TStoreKind& kind, std::ostream* out) { *out << kind.Name; }
};

// "memory" and "file" (in a fresh temporary folder) everywhere; "registry"
// (the real HKEY_LOCAL_MACHINE, with SOFTWARE\Calvek removed first) on
// Windows.
std::vector<TStoreKind> StoreKinds();

// A fresh empty folder under the system's temporary folder.
std::string MakeTempDir();
#ifdef _WIN32
// Removes SOFTWARE\Calvek of HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER in the
// registry's 32-bit view, where the registry store keeps its keys.
void ClearCalvek();
#endif

// Reads and writes whole files, for looking at what a file store wrote.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

}  // namespace korvel::test
