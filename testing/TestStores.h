// Stores for tests: every backend this platform has, each starting empty.
#pragma once

#include <functional>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "RegStores.h"
#ifdef _WIN32
#include "Win32RegStore.h"
#endif

namespace korvel::test {

struct TStoreKind {
  std::string Name;
  std::function<std::shared_ptr<TRegStore>()> Make;
  friend void PrintTo(const TStoreKind& kind, std::ostream* out) { *out << kind.Name; }
};

// "memory" everywhere; "file" (in a fresh temporary folder) where the file
// store is the default; "registry" (the real HKEY_LOCAL_MACHINE, with
// SOFTWARE\Calvek removed first) on Windows.
std::vector<TStoreKind> StoreKinds();

// A fresh empty folder under the system's temporary folder.
std::string MakeTempDir();
// Removes SOFTWARE\Calvek from the store.
void ClearCalvek(TRegStore& store);

// Reads and writes whole files, for looking at what a file store wrote.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

}  // namespace korvel::test
