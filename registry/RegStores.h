// The store backends behind TRegStore.
#pragma once

#include <chrono>
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
  using TRegStore::Begin;
  std::unique_ptr<TRegSession> Begin(TRegAccess access, std::string& problem) override;
  std::shared_ptr<TRegNode> Root;
  bool FailCommits = false;  // lets tests see how callers handle a store they cannot write
};

// How long a session waits for another process's lock on the store before it
// gives up: a reader then reads without the lock (a file store is always
// whole), a writer fails and writes nothing.
inline constexpr std::chrono::milliseconds kStoreLockWait{3000};

// One REGEDIT4 file. The path's links are followed, so a linked store is
// written where it really is. Sessions lock a companion file (PATH.lock):
// shared for reading, exclusive for writing. Commit writes a new file beside
// PATH, flushes it to disk and renames it over PATH, so the file is always
// either the old store or the new one, whole, with its owner and mode kept.
// A file that could not be read cleanly is copied to PATH.bad before a commit
// replaces it; a file that exists but cannot be read at all is never written.
std::unique_ptr<TRegStore> MakeFileRegStore(std::string path,
                                            std::chrono::milliseconds lockWait = kStoreLockWait);

// $KORVEL_STORE, else $XDG_CONFIG_HOME/korvel/registry.reg, else
// $HOME/.config/korvel/registry.reg (on Windows %APPDATA%\korvel\registry.reg);
// empty when none of them can be found.
std::string DefaultFileStorePath();

#ifdef _WIN32
// HKEY_LOCAL_MACHINE through advapi32, keys opened with full access. Sessions
// hold a named mutex so that load-modify-save cycles of several processes
// take turns. A session waits at most `lockWait` for it: a reader then reads
// without it, a writer fails.
std::unique_ptr<TRegStore> MakeWin32RegStore(std::chrono::milliseconds lockWait = kStoreLockWait);
#endif

}  // namespace korvel
