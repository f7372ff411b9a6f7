#include "FaultyStore.h"

namespace korvel::test {
namespace {

class TFaultyKey final : public TRegKey {
 public:
  TFaultyKey(std::unique_ptr<TRegKey> owned, std::string path, const TFaultyStore::TRule& fail)
      : Owned(std::move(owned)), Inner(Owned.get()), Path(std::move(path)), Fail(fail) {}
  TFaultyKey(TRegKey& borrowed, const TFaultyStore::TRule& fail) : Inner(&borrowed), Fail(fail) {}

  std::unique_ptr<TRegKey> Open(std::string_view path) override {
    return Wrap(TStoreOp::Open, path, [&] { return Inner->Open(path); });
  }
  std::unique_ptr<TRegKey> Create(std::string_view path) override {
    return Wrap(TStoreOp::Create, path, [&] { return Inner->Create(path); });
  }
  uint32_t SubKeyCount() override { return Inner->SubKeyCount(); }
  std::optional<std::string> SubKeyName(uint32_t index) override { return Inner->SubKeyName(index); }
  std::optional<TRegValue> Query(std::string_view name) override { return Inner->Query(name); }
  std::optional<std::string> ValueName(uint32_t index) override { return Inner->ValueName(index); }
  bool Set(std::string_view name, const TRegValue& value) override {
    return !Fail(TStoreOp::Set, Join(name)) && Inner->Set(name, value);
  }
  bool DeleteValue(std::string_view name) override { return Inner->DeleteValue(name); }
  bool DeleteTree(std::string_view path) override {
    return !Fail(TStoreOp::DeleteTree, Join(path)) && Inner->DeleteTree(path);
  }

 private:
  std::string Join(std::string_view name) const {
    return Path.empty() ? std::string(name) : Path + "\\" + std::string(name);
  }
  template <typename F>
  std::unique_ptr<TRegKey> Wrap(TStoreOp op, std::string_view path, F inner) {
    std::string full = Join(path);
    if (Fail(op, full)) return nullptr;
    auto key = inner();
    return key ? std::make_unique<TFaultyKey>(std::move(key), full, Fail) : nullptr;
  }

  std::unique_ptr<TRegKey> Owned;
  TRegKey* Inner;
  std::string Path;
  const TFaultyStore::TRule& Fail;
};

class TFaultySession final : public TRegSession {
 public:
  TFaultySession(std::unique_ptr<TRegSession> inner, const TFaultyStore::TRule& fail)
      : Inner(std::move(inner)), Fail(fail), Machine(Inner->LocalMachine(), fail) {}
  TRegKey& LocalMachine() override { return Machine; }
  bool Commit() override { return !Fail(TStoreOp::Commit, "") && Inner->Commit(); }
  bool Readable() const override { return Inner->Readable(); }
  std::string Problem() const override { return Inner->Problem(); }

 private:
  std::unique_ptr<TRegSession> Inner;
  const TFaultyStore::TRule& Fail;
  TFaultyKey Machine;
};

}  // namespace

std::unique_ptr<TRegSession> TFaultyStore::Begin(TRegAccess access, std::string& problem) {
  if (Fail(TStoreOp::Begin, "")) {
    problem = "the store refused (test)";
    return nullptr;
  }
  auto inner = Inner->Begin(access, problem);
  return inner ? std::make_unique<TFaultySession>(std::move(inner), Fail) : nullptr;
}

TFaultyStore::TRule FailWritingRecord(int position) {
  std::string key = "ClientPasswords\\" + std::to_string(position) + "\\";
  return [key](TStoreOp op, const std::string& path) {
    return op == TStoreOp::Set && path.find(key) != std::string::npos;
  };
}

TFaultyStore::TRule FailOp(TStoreOp op) {
  return [op](TStoreOp actual, const std::string&) { return actual == op; };
}

}  // namespace korvel::test
