#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Win32RegStore.h"

namespace korvel {
namespace {

class TWin32Key final : public TRegKey {
 public:
  TWin32Key(HKEY key, bool owned) : Key(key), Owned(owned) {}
  ~TWin32Key() override {
    if (Owned) RegCloseKey(Key);
  }

  std::unique_ptr<TRegKey> Open(std::string_view path) override {
    HKEY out = nullptr;
    if (RegOpenKeyExA(Key, std::string(path).c_str(), 0, KEY_ALL_ACCESS, &out) !=
        ERROR_SUCCESS)
      return nullptr;
    return std::make_unique<TWin32Key>(out, true);
  }

  std::unique_ptr<TRegKey> Create(std::string_view path) override {
    HKEY out = nullptr;
    if (RegCreateKeyExA(Key, std::string(path).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &out,
                        nullptr) != ERROR_SUCCESS)
      return nullptr;
    return std::make_unique<TWin32Key>(out, true);
  }

  uint32_t SubKeyCount() override {
    DWORD count = 0;
    if (RegQueryInfoKeyA(Key, nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr,
                         nullptr) != ERROR_SUCCESS)
      return 0;
    return count;
  }

  std::optional<std::string> SubKeyName(uint32_t index) override {
    char name[256];
    DWORD size = sizeof name;
    if (RegEnumKeyExA(Key, index, name, &size, nullptr, nullptr, nullptr,
                      nullptr) != ERROR_SUCCESS)
      return std::nullopt;
    return std::string(name, size);
  }

  std::optional<TRegValue> Query(std::string_view name) override {
    std::string n(name);
    // One call for the usual short value; a longer one is asked again with
    // the size the registry reported (also when it grew in between).
    std::vector<BYTE> data(512);
    for (;;) {
      DWORD type = 0, got = static_cast<DWORD>(data.size());
      LONG rc = RegQueryValueExA(Key, n.c_str(), nullptr, &type, data.data(), &got);
      if (rc == ERROR_MORE_DATA) {
        data.resize(std::max<std::size_t>(got + 1, data.size() * 2));
        continue;
      }
      if (rc != ERROR_SUCCESS) return std::nullopt;
      std::string bytes(reinterpret_cast<char*>(data.data()), got);
      // A text's terminating zero is the registry's, not part of the text
      // (and Wine reports one even for a text stored without it).
      if (type == REG_SZ && !bytes.empty() && bytes.back() == '\0') bytes.pop_back();
      return TRegValue{type, bytes};
    }
  }

  std::optional<std::string> ValueName(uint32_t index) override {
    char name[16384];
    DWORD size = sizeof name;
    if (RegEnumValueA(Key, index, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      return std::nullopt;
    return std::string(name, size);
  }

  bool Set(std::string_view name, const TRegValue& value) override {
    return RegSetValueExA(Key, std::string(name).c_str(), 0, value.Type,
                          reinterpret_cast<const BYTE*>(value.Data.data()),
                          static_cast<DWORD>(value.Data.size())) == ERROR_SUCCESS;
  }

  bool DeleteValue(std::string_view name) override {
    LONG rc = RegDeleteValueA(Key, std::string(name).c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
  }

  bool DeleteTree(std::string_view path) override {
    std::string p(path);
    HKEY sub = nullptr;
    LONG rc = RegOpenKeyExA(Key, p.c_str(), 0, KEY_ALL_ACCESS, &sub);
    if (rc == ERROR_FILE_NOT_FOUND) return true;
    if (rc != ERROR_SUCCESS) return false;
    bool ok = true;
    {
      TWin32Key child(sub, true);
      // Always take the first subkey: deleting shifts the rest down.
      for (DWORD skipped = 0;;) {
        auto name = child.SubKeyName(skipped);
        if (!name) break;
        if (!child.DeleteTree(*name)) {
          ok = false;
          ++skipped;
        }
      }
    }
    return RegDeleteKeyA(Key, p.c_str()) == ERROR_SUCCESS && ok;
  }

 private:
  HKEY Key;
  bool Owned;
};

class TWin32Session final : public TRegSession {
 public:
  TWin32Session(HANDLE mutex, std::string problem) : Mutex(mutex), Why(std::move(problem)) {}
  ~TWin32Session() override {
    if (Mutex) {
      ReleaseMutex(Mutex);
      CloseHandle(Mutex);
    }
  }
  TRegKey& LocalMachine() override { return Machine; }
  // Registry writes take effect as they are made.
  bool Commit() override { return true; }
  std::string Problem() const override { return Why; }

 private:
  HANDLE Mutex;  // null for a read that went on without it
  std::string Why;
  TWin32Key Machine{HKEY_LOCAL_MACHINE, false};
};

constexpr char kBusy[] = "another program is saving the client passwords";

class TWin32RegStore final : public TRegStore {
 public:
  explicit TWin32RegStore(std::chrono::milliseconds lockWait) : LockWait(lockWait) {}

  using TRegStore::Begin;
  // The wait is bounded (this also runs inside DllMain, where a program that
  // holds the mutex must not hang the library's user): a reader that cannot
  // have the mutex reads without it, a writer fails and writes nothing.
  std::unique_ptr<TRegSession> Begin(TRegAccess access, std::string& problem) override {
    bool write = access == TRegAccess::Write;
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Korvel.ZORVA.Store");
    if (!mutex) {
      if (write) {
        problem = "cannot make the lock of the client passwords (error " +
                  std::to_string(GetLastError()) + ")";
        return nullptr;
      }
      return std::make_unique<TWin32Session>(nullptr,
                                             "the client passwords were read without their lock");
    }
    DWORD ms = static_cast<DWORD>(std::clamp<long long>(LockWait.count(), 0, INFINITE - 1));
    DWORD wait = WaitForSingleObject(mutex, ms);
    // WAIT_ABANDONED: its holder ended without releasing it, and now we own it.
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED)
      return std::make_unique<TWin32Session>(mutex, std::string());
    CloseHandle(mutex);
    if (write) {
      problem = kBusy;
      return nullptr;
    }
    return std::make_unique<TWin32Session>(nullptr,
                                           std::string(kBusy) + "; read without waiting for it");
  }

 private:
  std::chrono::milliseconds LockWait;
};

}  // namespace

std::unique_ptr<TRegStore> MakeWin32RegStore(std::chrono::milliseconds lockWait) {
  return std::make_unique<TWin32RegStore>(lockWait);
}

}  // namespace korvel
