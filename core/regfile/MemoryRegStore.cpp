#include "MemoryRegStore.h"

namespace korvel {
namespace {

class TMemorySession final : public TRegSession {
 public:
  TMemorySession(TMemoryRegStore& store, TRegAccess access)
      : Store(store), Access(access), Root(store.Root->Clone()) {}

  TRegKey& LocalMachine() override {
    if (!Machine) Machine = MakeTreeKey(Root)->Create("HKEY_LOCAL_MACHINE");
    return *Machine;
  }

  bool Commit() override {
    if (Access != TRegAccess::Write || Store.FailCommits) return false;
    Store.Root = Root->Clone();
    return true;
  }

 private:
  TMemoryRegStore& Store;
  TRegAccess Access;
  std::shared_ptr<TRegNode> Root;
  std::unique_ptr<TRegKey> Machine;
};

}  // namespace

std::unique_ptr<TRegSession> TMemoryRegStore::Begin(TRegAccess access, std::string&) {
  return std::make_unique<TMemorySession>(*this, access);
}

}  // namespace korvel
