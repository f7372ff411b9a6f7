// Keys held in memory, as a store.
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

}  // namespace korvel
