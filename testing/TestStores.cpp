#include "TestStores.h"

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace korvel::test {

std::string MakeTempDir() {
  static std::atomic<int> serial{0};
#ifdef _WIN32
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  std::string dir = std::string(base) + "korvel-test-" + std::to_string(GetCurrentProcessId()) +
                    "-" + std::to_string(serial++);
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
#else
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/korvel-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
  ++serial;
  return buffer.data();
#endif
}

#ifdef _WIN32
namespace {

// The hives the registry store uses, in the 32-bit view it keeps its keys in.
const std::pair<HKEY, const char*> kHives[] = {{HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
                                               {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"}};
constexpr REGSAM kView = KEY_WOW64_32KEY;

void ReadRegistry(HKEY key, TRegNode& node) {
  for (DWORD i = 0;; ++i) {
    char name[16384];
    DWORD size = sizeof name, type = 0, length = 0;
    if (RegEnumValueA(key, i, name, &size, nullptr, &type, nullptr, &length) != ERROR_SUCCESS)
      break;
    std::string data(length, '\0');
    size = sizeof name;
    RegEnumValueA(key, i, name, &size, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                  &length);
    data.resize(length);
    // Wine reports texts stored without a terminating zero with one added.
    if (type == REG_SZ && !data.empty() && data.back() == '\0') data.pop_back();
    node.SetValue(std::string(name, size), TRegValue{type, data});
  }
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD size = sizeof name;
    if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    HKEY sub = nullptr;
    if (RegOpenKeyExA(key, name, 0, KEY_READ | kView, &sub) != ERROR_SUCCESS) continue;
    ReadRegistry(sub, *node.Create(std::string(name, size)));
    RegCloseKey(sub);
  }
}

void WriteRegistry(HKEY key, const TRegNode& node) {
  for (const auto& [name, value] : node.Values)
    RegSetValueExA(key, name.c_str(), 0, value.Type,
                   reinterpret_cast<const BYTE*>(value.Data.data()),
                   static_cast<DWORD>(value.Data.size()));
  for (const auto& [name, child] : node.Keys) {
    HKEY sub = nullptr;
    if (RegCreateKeyExA(key, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | kView, nullptr, &sub,
                        nullptr) != ERROR_SUCCESS)
      throw std::runtime_error("cannot make the key " + name);
    WriteRegistry(sub, *child);
    RegCloseKey(sub);
  }
}

constexpr char kCalvek[] = "SOFTWARE\\Calvek";

}  // namespace

void ClearCalvek() {
  for (const auto& [hive, name] : kHives) {
    HKEY software = nullptr;
    if (RegOpenKeyExA(hive, "SOFTWARE", 0, KEY_ALL_ACCESS | kView, &software) != ERROR_SUCCESS)
      continue;
    RegDeleteTreeA(software, "Calvek");
    RegCloseKey(software);
  }
}

TStores RegistryStores(bool clear) {
  if (clear) ClearCalvek();
  auto store = std::make_shared<TRegistryStore>();
  TStores stores;
  stores.Passwords = store;
  stores.Settings = store;
  stores.ReadKeys = [] {
    TRegNode root;
    for (const auto& [hive, name] : kHives) {
      HKEY key = nullptr;
      if (RegOpenKeyExA(hive, kCalvek, 0, KEY_READ | kView, &key) != ERROR_SUCCESS) continue;
      ReadRegistry(key, *root.Create(std::string(name) + "\\" + kCalvek));
      RegCloseKey(key);
    }
    return root;
  };
  stores.WriteKeys = [](const TRegNode& root) {
    ClearCalvek();
    for (const auto& [hive, name] : kHives) {
      const TRegNode* calvek = root.Find(std::string(name) + "\\" + kCalvek);
      if (!calvek) continue;
      HKEY key = nullptr;
      RegCreateKeyExA(hive, kCalvek, 0, nullptr, 0, KEY_ALL_ACCESS | kView, nullptr, &key, nullptr);
      WriteRegistry(key, *calvek);
      RegCloseKey(key);
    }
  };
  return stores;
}
#endif

void TStores::EditKey(const std::string& path, const std::function<void(TRegNode&)>& edit) const {
  TRegNode root = ReadKeys();
  edit(*root.Create("HKEY_LOCAL_MACHINE\\" + path));
  WriteKeys(root);
}

TRegNode TStores::Key(const std::string& path) const {
  TRegNode root = ReadKeys();
  const TRegNode* key = root.Find("HKEY_LOCAL_MACHINE\\" + path);
  return key ? *key : TRegNode{};
}

TStores MemoryStores() {
  auto store = std::make_shared<TMemoryStore>();
  TStores stores;
  stores.Passwords = store;
  stores.Settings = store;
  stores.ReadKeys = [store] {
    TRegNode root;
    if (store->Passwords.HasList || store->Passwords.Versions != TZorvaVersions{})
      WritePasswords(root, store->Passwords);
    if (store->Settings.HasKey) WriteKorValues(root, store->Settings);
    return root;
  };
  stores.WriteKeys = [store](const TRegNode& root) {
    ReadPasswords(root, store->Passwords);
    store->Settings = ReadKorValues(root);
  };
  return stores;
}

TStores FileStores(const std::string& path) {
  auto store = std::make_shared<TFileStore>(path);
  TStores stores;
  stores.Passwords = store;
  stores.Settings = store;
  stores.ReadKeys = [path] {
    TRegParseResult parsed = ParseRegFile(ReadFileBytes(path));
    return parsed.Root ? *parsed.Root : TRegNode{};
  };
  stores.WriteKeys = [path](const TRegNode& root) { WriteFileBytes(path, WriteRegFile(root)); };
  return stores;
}

std::vector<TStoreKind> StoreKinds() {
  std::vector<TStoreKind> kinds;
  kinds.push_back({"memory", MemoryStores});
  kinds.push_back({"file", [] { return FileStores(MakeTempDir() + "/registry.reg"); }});
#ifdef _WIN32
  kinds.push_back({"registry", [] { return RegistryStores(); }});
#endif
  return kinds;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

bool FileExists(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return in.good();
}

}  // namespace korvel::test
