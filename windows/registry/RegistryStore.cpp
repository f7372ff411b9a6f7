#include "RegistryStore.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvel {
namespace {

std::function<bool()>& WriteHook() {
  static std::function<bool()> hook;
  return hook;
}

std::function<LONG(HKEY, REGSAM)>& AccessHook() {
  static std::function<LONG(HKEY, REGSAM)> hook;
  return hook;
}

std::function<bool()>& VirtualizationHook() {
  static std::function<bool()> hook;
  return hook;
}

// Whether Windows virtualises this process's registry writes: a 32-bit
// interactive program without requestedExecutionLevel in its manifest (an
// old host program that loads ZORVA.DLL) that may not write
// HKEY_LOCAL_MACHINE\SOFTWARE is not refused; its writes land in the
// account's VirtualStore, which no other program reads.
bool Virtualized() {
  if (VirtualizationHook()) return VirtualizationHook()();
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD enabled = 0, size = 0;
  const bool known =
      GetTokenInformation(token, TokenVirtualizationEnabled, &enabled, sizeof enabled, &size);
  CloseHandle(token);
  return known && enabled != 0;
}

bool WriteAllowed() { return !WriteHook() || WriteHook()(); }

// An open key, closed when it goes.
class TKey {
 public:
  TKey() = default;
  explicit TKey(HKEY key) : Key(key) {}
  TKey(TKey&& other) noexcept : Key(std::exchange(other.Key, nullptr)) {}
  TKey& operator=(TKey&& other) noexcept {
    std::swap(Key, other.Key);
    return *this;
  }
  ~TKey() {
    if (Key) RegCloseKey(Key);
  }
  explicit operator bool() const { return Key != nullptr; }
  HKEY Get() const { return Key; }

 private:
  HKEY Key = nullptr;
};

// Keys are opened with the rights their use needs and no more: a standard
// user, or an administrator under UAC, is refused full access to
// HKEY_LOCAL_MACHINE even to read. Every key is seen in the registry's 32-bit
// view, where a 32-bit ZORVA.DLL (the build 32-bit callers load) has always
// kept the list: 32-bit and 64-bit programs share one store.
constexpr REGSAM kView = KEY_WOW64_32KEY;
constexpr REGSAM kReadRights = KEY_READ | kView;
constexpr REGSAM kWriteRights = KEY_READ | KEY_WRITE | kView;

TKey Open(HKEY parent, const std::string& path, REGSAM rights = kReadRights) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(parent, path.c_str(), 0, rights, &key) != ERROR_SUCCESS) return {};
  return TKey(key);
}

TKey Create(HKEY parent, const std::string& path) {
  HKEY key = nullptr;
  if (!WriteAllowed() || RegCreateKeyExA(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         kWriteRights, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return {};
  return TKey(key);
}

// A key right below a hive (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER), opened
// or, with `create`, made. `error` tells why it is missing: the registry's
// answer, ERROR_ACCESS_DENIED where the account's rights refuse it.
TKey OpenInHive(HKEY hive, const std::string& path, bool create, LONG& error) {
  REGSAM rights = create ? kWriteRights : kReadRights;
  error = AccessHook() ? AccessHook()(hive, rights) : ERROR_SUCCESS;
  if (error != ERROR_SUCCESS) return {};
  if (create && !WriteAllowed()) {
    error = ERROR_WRITE_FAULT;
    return {};
  }
  HKEY key = nullptr;
  error = create ? RegCreateKeyExA(hive, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, rights,
                                   nullptr, &key, nullptr)
                 : RegOpenKeyExA(hive, path.c_str(), 0, rights, &key);
  if (error != ERROR_SUCCESS) return {};
  return TKey(key);
}

TKey OpenInHive(HKEY hive, const std::string& path) {
  LONG error = ERROR_SUCCESS;
  return OpenInHive(hive, path, false, error);
}

std::vector<std::string> SubkeyNames(HKEY key) {
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD size = sizeof name;
    if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      return names;
    names.emplace_back(name, size);
  }
}

// A value's type and bytes: one call for the usual short value, a longer one
// is asked again with the size the registry reported (also when it grew in
// between).
std::optional<std::string> Query(HKEY key, const char* name, DWORD& type) {
  std::vector<BYTE> data(512);
  for (;;) {
    DWORD got = static_cast<DWORD>(data.size());
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, data.data(), &got);
    if (rc == ERROR_MORE_DATA) {
      data.resize(std::max<std::size_t>(got + 1, data.size() * 2));
      continue;
    }
    if (rc != ERROR_SUCCESS) return std::nullopt;
    return std::string(reinterpret_cast<char*>(data.data()), got);
  }
}

// A REG_SZ value cut at its first zero byte (a stored terminating zero is the
// registry's, not part of the text).
std::optional<std::string> Text(HKEY key, const char* name) {
  DWORD type = 0;
  auto bytes = Query(key, name, type);
  if (!bytes || type != REG_SZ) return std::nullopt;
  return bytes->substr(0, bytes->find('\0'));
}

// A REG_DWORD value of exactly four bytes.
std::optional<uint32_t> Dword(HKEY key, const char* name) {
  DWORD type = 0;
  auto bytes = Query(key, name, type);
  if (!bytes || type != REG_DWORD || bytes->size() != 4) return std::nullopt;
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>((*bytes)[i]);
  return value;
}

bool Set(HKEY key, const char* name, DWORD type, const void* data, std::size_t size) {
  return WriteAllowed() && RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data),
                                          static_cast<DWORD>(size)) == ERROR_SUCCESS;
}

// Texts are written without a terminating zero, as the stores always have.
bool SetText(HKEY key, const char* name, const std::string& text) {
  return Set(key, name, REG_SZ, text.data(), text.size());
}

bool SetDword(HKEY key, const char* name, uint32_t value) {
  return Set(key, name, REG_DWORD, &value, sizeof value);
}

// Removing a missing value succeeds.
bool DeleteValue(HKEY key, const char* name) {
  if (!WriteAllowed()) return false;
  LONG rc = RegDeleteValueA(key, name);
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

// Deletes a key with everything below it; deleting a missing key succeeds.
bool DeleteTree(HKEY parent, const std::string& path) {
  TKey key = Open(parent, path);
  if (!key) return true;
  bool ok = true;
  for (const std::string& name : SubkeyNames(key.Get())) ok = DeleteTree(key.Get(), name) && ok;
  key = TKey();
  return ok && WriteAllowed() && RegDeleteKeyExA(parent, path.c_str(), kView, 0) == ERROR_SUCCESS;
}

// Copies every value and subkey of `from` into `to`; false as soon as
// anything could not be read or written.
bool CopyTree(HKEY from, HKEY to) {
  for (DWORD i = 0;; ++i) {
    char name[16384];
    DWORD size = sizeof name;
    if (RegEnumValueA(from, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    DWORD type = 0;
    auto data = Query(from, name, type);
    if (!data || !Set(to, name, type, data->data(), data->size())) return false;
  }
  for (const std::string& name : SubkeyNames(from)) {
    TKey source = Open(from, name), target = Create(to, name);
    if (!source || !target || !CopyTree(source.Get(), target.Get())) return false;
  }
  return true;
}

// The named mutex that loads and saves of every process take turns with.
constexpr char kMutexName[] = "Local\\Korvel.ZORVA.Store";

class TStoreLock {
 public:
  TStoreLock(bool write, std::chrono::milliseconds wait) {
    // In the logon session's namespace ("Local\\", where a name without a
    // prefix lands too): every program of the operator's session takes turns
    // on it, and no privilege is needed to make it ("Global\\" needs one in
    // every session but the services'). A mutex made by a program running
    // with other rights may refuse to be made again: it is then opened for
    // waiting only. A save never goes on without it.
    Mutex = CreateMutexA(nullptr, FALSE, kMutexName);
    if (!Mutex && GetLastError() == ERROR_ACCESS_DENIED)
      Mutex = OpenMutexA(SYNCHRONIZE, FALSE, kMutexName);
    if (!Mutex) {
      Why = "cannot make the lock of the client passwords (error " +
            std::to_string(GetLastError()) + ")";
      return;
    }
    // The wait is bounded: a program that holds the mutex must not hang the
    // library's caller.
    DWORD ms = static_cast<DWORD>(std::clamp<long long>(wait.count(), 0, INFINITE - 1));
    DWORD result = WaitForSingleObject(Mutex, ms);
    // WAIT_ABANDONED: its holder ended without releasing it, and now we own it.
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
      Held = true;
      return;
    }
    CloseHandle(Mutex);
    Mutex = nullptr;
    Why = "another program is saving the client passwords";
    if (!write) Why += "; read without waiting for it";
  }
  ~TStoreLock() {
    if (!Mutex) return;
    ReleaseMutex(Mutex);
    CloseHandle(Mutex);
  }
  TStoreLock(const TStoreLock&) = delete;
  TStoreLock& operator=(const TStoreLock&) = delete;
  bool Locked() const { return Held; }
  const std::string& Problem() const { return Why; }

 private:
  HANDLE Mutex = nullptr;
  bool Held = false;
  std::string Why;
};

// Where the client passwords and KOR's settings live: the machine-wide keys
// under HKEY_LOCAL_MACHINE, or a per-user copy under HKEY_CURRENT_USER that a
// save makes when the operator's account may not write the machine-wide key
// (a standard user). Once the copy exists it is read and written, the
// machine-wide key is left alone. Each kind has a copy of its own.
struct THive {
  HKEY Hive;
  const char* Name;
};
const THive kMachine{HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"};
const THive kUser{HKEY_CURRENT_USER, "HKEY_CURRENT_USER"};

std::string KeyName(const THive& hive, const char* path) {
  return std::string(hive.Name) + "\\" + path;
}

// Whether the account may write the key at `path`, or make it below the
// nearest key that exists, without writing anything.
bool MayWrite(HKEY hive, std::string path) {
  for (;;) {
    LONG error = AccessHook() ? AccessHook()(hive, kWriteRights) : ERROR_SUCCESS;
    HKEY key = nullptr;
    if (error == ERROR_SUCCESS) error = RegOpenKeyExA(hive, path.c_str(), 0, kWriteRights, &key);
    if (key) RegCloseKey(key);
    if (error != ERROR_FILE_NOT_FOUND) return error == ERROR_SUCCESS;
    std::size_t cut = path.rfind('\\');
    if (cut == std::string::npos) return true;  // the hive itself takes new keys
    path.resize(cut);
  }
}

// Which list a program works on. A program that may write the machine-wide
// key (an administrator's elevated program, or any account the key lets
// write) works on the machine-wide list, also where the account keeps a copy
// of its own from its unelevated programs. Any other works on the account's
// copy once there is one, and reads the machine-wide list until its first
// save makes the copy. A program whose writes Windows would virtualise may
// not write the machine-wide key, whatever the registry answers.
enum class TPlace { Machine, UserCopy, MachineReadOnly };

bool MachineWritable(const char* path) {
  return !Virtualized() && MayWrite(kMachine.Hive, path);
}

bool HasUserCopy(const char* path) {
  LONG error = ERROR_SUCCESS;
  return static_cast<bool>(OpenInHive(kUser.Hive, path, false, error));
}

TPlace Place(const char* path) {
  if (MachineWritable(path)) return TPlace::Machine;
  return HasUserCopy(path) ? TPlace::UserCopy : TPlace::MachineReadOnly;
}

const THive& ReadHive(const char* path) { return Place(path) == TPlace::UserCopy ? kUser : kMachine; }

std::string Refusal(LONG error) {
  if (error == ERROR_ACCESS_DENIED) return "access denied: your account may not read it";
  return "error " + std::to_string(error);
}

// The key a save writes into, made when missing: the one a load reads, or,
// when that is the machine-wide key and the account may not write it, a new
// per-user copy that first takes over the machine-wide key's values and
// keys. A takeover cut short is removed again, so that the machine-wide key
// stays the one read.
TKey OpenForSaving(const char* path, std::string& problem) {
  LONG error = ERROR_SUCCESS;
  const TPlace place = Place(path);
  if (place != TPlace::MachineReadOnly) {
    const THive& hive = place == TPlace::Machine ? kMachine : kUser;
    TKey key = OpenInHive(hive.Hive, path, true, error);
    if (!key) problem = "the registry refused to write " + KeyName(hive, path);
    return key;
  }
  TKey copy = OpenInHive(kUser.Hive, path, true, error);
  TKey machine = OpenInHive(kMachine.Hive, path, false, error);
  if (copy && (!machine || CopyTree(machine.Get(), copy.Get()))) return copy;
  copy = TKey();
  DeleteTree(kUser.Hive, path);
  problem = "your account may not write " + KeyName(kMachine, path) + ", and your own copy under " +
            KeyName(kUser, path) + " could not be made";
  return {};
}

// False when the key exists but cannot be read.
bool ReadPasswords(TStoredPasswords& stored, std::string& problem) {
  stored = TStoredPasswords{};
  const THive& hive = ReadHive(kZorvaKeyPath);
  LONG error = ERROR_SUCCESS;
  TKey key = OpenInHive(hive.Hive, kZorvaKeyPath, false, error);
  if (!key) {
    if (error == ERROR_FILE_NOT_FOUND) return true;  // nothing stored yet
    problem = "the client passwords in " + KeyName(hive, kZorvaKeyPath) + " cannot be read (" +
              Refusal(error) + ")";
    return false;
  }
  TZorvaVersions& v = stored.Versions;
  v.MajorVersion = Dword(key.Get(), "MajorVersion").value_or(v.MajorVersion);
  v.MinorVersion = Dword(key.Get(), "MinorVersion").value_or(v.MinorVersion);
  v.Build = Dword(key.Get(), "Build").value_or(v.Build);
  v.InstallationDate = Dword(key.Get(), "InstallationDate").value_or(v.InstallationDate);
  // A complete copy means the last save did not finish: the list it was
  // rewriting may be torn, the copy holds the list as it was before.
  TKey list = Open(key.Get(), kSavingCopyKey);
  DWORD type = 0;
  if (!list || !Query(list.Get(), kSavingCopyComplete, type))
    list = Open(key.Get(), kClientPasswordsKey);
  if (!list) return true;
  stored.HasList = true;
  for (const std::string& name : RecordKeyOrder(SubkeyNames(list.Get()))) {
    TKey record = Open(list.Get(), name);
    if (!record) break;  // the records read so far stay
    auto text = [&](const char* value) { return Text(record.Get(), value).value_or(""); };
    stored.Records.push_back(RecordFromTexts(text("Tag"), text("Challenge"), text("String"),
                                             text("Type"), text(kReplyLineValue),
                                             text(kTriggerValue)));
  }
  return true;
}

bool CompleteCopy(HKEY key) {
  TKey copy = Open(key, kSavingCopyKey);
  DWORD type = 0;
  return copy && Query(copy.Get(), kSavingCopyComplete, type);
}

int WritePasswords(const TStoredPasswords& stored, std::string& problem) {
  TKey key = OpenForSaving(kZorvaKeyPath, problem);
  if (!key) return kStoreNotWritable;
  const TZorvaVersions& v = stored.Versions;
  bool ok = SetDword(key.Get(), "MajorVersion", v.MajorVersion);
  ok = SetDword(key.Get(), "MinorVersion", v.MinorVersion) && ok;
  ok = SetDword(key.Get(), "Build", v.Build) && ok;
  ok = SetDword(key.Get(), "InstallationDate", v.InstallationDate) && ok;
  if (!ok) return kStoreNotWritable;
  // A complete copy left by an earlier save that did not finish is kept as
  // it is, since the list beside it may be torn.
  if (!CompleteCopy(key.Get())) {
    if (!DeleteTree(key.Get(), kSavingCopyKey)) return kStoreNotWritable;  // a copy cut short
    TKey copy = Create(key.Get(), kSavingCopyKey);
    if (!copy) return kStoreNotWritable;
    // The records are the list's subkeys (the list key has no values of its
    // own), so the copy's one value is its mark.
    TKey old = Open(key.Get(), kClientPasswordsKey);
    if (old && !CopyTree(old.Get(), copy.Get())) return kStoreNotWritable;
    if (!SetDword(copy.Get(), kSavingCopyComplete, 1)) return kStoreNotWritable;
  }
  if (!DeleteTree(key.Get(), kClientPasswordsKey)) return kStoreNotWritable;
  TKey list = Create(key.Get(), kClientPasswordsKey);
  if (!list) return kStoreNotWritable;
  for (std::size_t i = 0; i < stored.Records.size(); ++i) {
    const TClientPassword& r = stored.Records[i];
    TKey record = Create(list.Get(), RecordKeyName(static_cast<int>(i)));
    if (!record || !SetText(record.Get(), "Tag", r.Tag) ||
        !SetText(record.Get(), "Challenge", r.Challenge) ||
        !SetText(record.Get(), "String", r.String) || !SetText(record.Get(), "Type", TypeText(r)) ||
        (!r.ReplyLine.empty() && !SetText(record.Get(), kReplyLineValue, r.ReplyLine)) ||
        (!r.Trigger.empty() && !SetText(record.Get(), kTriggerValue, r.Trigger)))
      return static_cast<int>(i);
  }
  // The list is whole again. The copy loses its mark before anything else,
  // so that from now on loads read the list, not a copy taken apart.
  if (TKey copy = Open(key.Get(), kSavingCopyKey, kWriteRights);
      copy && !DeleteValue(copy.Get(), kSavingCopyComplete))
    return kStoreNotWritable;
  if (!DeleteTree(key.Get(), kSavingCopyKey)) return kStoreNotWritable;
  return kAllWritten;
}

}  // namespace

void SetRegistryWriteHook(std::function<bool()> hook) { WriteHook() = std::move(hook); }

void SetRegistryAccessHook(std::function<LONG(HKEY hive, REGSAM rights)> hook) {
  AccessHook() = std::move(hook);
}

void SetRegistryVirtualizationHook(std::function<bool()> hook) {
  VirtualizationHook() = std::move(hook);
}

bool TRegistryStore::Load(TStoredPasswords& stored, std::string& problem) {
  TStoreLock lock(false, LockWait);
  std::string why;
  bool read = ReadPasswords(stored, why);
  problem = why.empty() ? lock.Problem() : why;
  return read;
}

std::string TRegistryStore::Where() {
  const TPlace place = Place(kZorvaKeyPath);
  const THive& hive = place == TPlace::UserCopy ? kUser : kMachine;
  std::string where = KeyName(hive, kZorvaKeyPath) + " (the registry's 32-bit view)\n";
  if (place == TPlace::UserCopy)
    return where +
           "Your own list: your account may not change the list of every user of this "
           "computer, so it keeps a copy of its own.\n";
  where += "The list of every user of this computer";
  LONG error = ERROR_SUCCESS;
  if (!OpenInHive(hive.Hive, kZorvaKeyPath, false, error) && error != ERROR_FILE_NOT_FOUND)
    return where + "; it cannot be read (" + Refusal(error) + ").\n";
  if (place == TPlace::MachineReadOnly)
    return where +
           ". Your account may read it but not change it: your first change makes a "
           "copy of your own under " +
           KeyName(kUser, kZorvaKeyPath) + ".\n";
  where += ".\n";
  if (HasUserCopy(kZorvaKeyPath))
    where += "This program may change it (run as administrator), so it works on it; your "
             "account's own copy under " +
             KeyName(kUser, kZorvaKeyPath) +
             " is what your programs without those rights use.\n";
  return where;
}

int TRegistryStore::Save(const TStoredPasswords& next, const TStoredPasswords* expected,
                         std::string& problem) {
  TStoreLock lock(true, LockWait);
  if (!lock.Locked()) {
    problem = lock.Problem();
    return kStoreNotWritable;
  }
  if (expected) {
    TStoredPasswords current;
    if (!ReadPasswords(current, problem)) return kStoreNotWritable;
    if (!SameRecordsAndVersions(current, *expected)) return kStoreChanged;
  }
  int result = WritePasswords(next, problem);
  if (result == kStoreNotWritable && problem.empty()) problem = "the registry refused a write";
  return result;
}

void TRegistryStore::Load(TKorSettings& settings) {
  TStoreLock lock(false, LockWait);
  TKorStoredValues values;
  if (TKey key = OpenInHive(ReadHive(kKorKeyPath).Hive, kKorKeyPath)) {
    values.HasKey = true;
    TKey hotkey = Open(key.Get(), kHotkeyKey);
    values.HasHotkeyKey = static_cast<bool>(hotkey);
    values.HelpFilename = Text(key.Get(), kHelpFileValue);
    for (const TKorValueName& name : kKorDwordValues) {
      HKEY in = name.InHotkeyKey ? hotkey.Get() : key.Get();
      if (auto value = in ? Dword(in, name.Name) : std::nullopt) values.Dwords[name.Name] = *value;
    }
  }
  settings = SettingsFromStored(values);
}

bool TRegistryStore::Save(const TKorSettings& settings) {
  TStoreLock lock(true, LockWait);
  if (!lock.Locked()) return false;
  std::string problem;
  TKey key = OpenForSaving(kKorKeyPath, problem);
  if (!key) return false;
  TKey hotkey = Create(key.Get(), kHotkeyKey);
  bool ok = true;
  const TKorStoredValues values = StoredFromSettings(settings);
  for (const TKorValueName& name : kKorDwordValues) {
    auto it = values.Dwords.find(name.Name);
    if (it == values.Dwords.end()) continue;
    HKEY in = name.InHotkeyKey ? hotkey.Get() : key.Get();
    ok = in && SetDword(in, name.Name, it->second) && ok;
  }
  return ok;
}

}  // namespace korvel
