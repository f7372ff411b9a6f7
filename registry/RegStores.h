// The store backends behind TRegStore.
#pragma once

#include <memory>
#include <string>

#include "RegKey.h"
#include "RegTree.h"

namespace korvel {

// Keys held in memory; a write session works on a copy that Commit puts in
// place. For tests, and for tools that build a tree before writing it.
class TMemoryRegStore final : public TRegStore {
 public:
  explicit TMemoryRegStore(std::shared_ptr<TRegNode> root = std::make_shared<TRegNode>())
      : Root(std::move(root)) {}
  std::unique_ptr<TRegSession> Begin(TRegAccess access) override;
  std::shared_ptr<TRegNode> Root;
  bool FailCommits = false;  // lets tests see how callers handle a store they cannot write
};

// One REGEDIT4 file. Sessions lock a companion file (PATH.lock): shared for
// reading, exclusive for writing. Commit writes PATH.tmp, flushes it to disk
// and renames it over PATH, so the file is always either the old store or the
// new one, whole. A file that could not be read cleanly is copied to PATH.bad
// before a commit replaces it.
std::unique_ptr<TRegStore> MakeFileRegStore(std::string path);

// $KORVEL_STORE, else $XDG_CONFIG_HOME/korvel/registry.reg, else
// $HOME/.config/korvel/registry.reg (on Windows %APPDATA%\korvel\registry.reg);
// empty when none of them can be found.
std::string DefaultFileStorePath();

#ifdef _WIN32
// HKEY_LOCAL_MACHINE through advapi32, keys opened with full access. Sessions
// hold a named mutex so that load-modify-save cycles of several processes
// take turns.
std::unique_ptr<TRegStore> MakeWin32RegStore();
#endif

}  // namespace korvel
