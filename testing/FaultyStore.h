// A store that refuses chosen operations, as a full disk, a lost lock or a
// registry without rights would: for tests of what callers do then.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "RegStores.h"

namespace korvel::test {

enum class TStoreOp { Begin, Open, Create, Set, DeleteTree, Commit };

class TFaultyStore final : public TRegStore {
 public:
  // Returns true for an operation that is to fail. `path` is the key's full
  // path below HKEY_LOCAL_MACHINE (for Set, with "\\" and the value's name).
  using TRule = std::function<bool(TStoreOp op, const std::string& path)>;

  explicit TFaultyStore(std::shared_ptr<TRegStore> inner = std::make_shared<TMemoryRegStore>())
      : Inner(std::move(inner)) {}
  using TRegStore::Begin;
  std::unique_ptr<TRegSession> Begin(TRegAccess access, std::string& problem) override;

  TRule Fail = [](TStoreOp, const std::string&) { return false; };
  std::shared_ptr<TRegStore> Inner;
};

// Rules for the usual faults.
TFaultyStore::TRule FailWritingRecord(int position);  // any value of record `position`
TFaultyStore::TRule FailOp(TStoreOp op);              // every operation of that kind

}  // namespace korvel::test
