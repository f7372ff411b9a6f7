// The registry-shaped key API that the client-password store and the desktop
// settings use. Two backends implement it: the Windows registry (advapi32) and
// a REGEDIT4 text file for builds without a registry (plus an in-memory tree
// for tests). Key and value names compare without regard to letter case, as in
// the registry; subkeys enumerate in the registry's order (names sorted as text).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace korvel {

// Registry value types, numbered as the registry numbers them.
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;

// A value as the registry holds it: a type and raw bytes.
struct TRegValue {
  uint32_t Type = kRegBinary;
  std::string Data;

  friend bool operator==(const TRegValue&, const TRegValue&) = default;
};

// An open key. Paths given to Open, Create and DeleteTree may name a key
// several levels down, separated by backslashes.
class TRegKey {
 public:
  virtual ~TRegKey() = default;

  // Opens an existing key; null when it does not exist or cannot be opened.
  virtual std::unique_ptr<TRegKey> Open(std::string_view path) = 0;
  // Opens a key, creating it and the keys above it when missing; null on failure.
  virtual std::unique_ptr<TRegKey> Create(std::string_view path) = 0;
  virtual uint32_t SubKeyCount() = 0;
  // The name of the subkey at an enumeration index; empty past the end.
  virtual std::optional<std::string> SubKeyName(uint32_t index) = 0;
  virtual std::optional<TRegValue> Query(std::string_view name) = 0;
  // The name of the value at an enumeration index; empty past the end.
  virtual std::optional<std::string> ValueName(uint32_t index) = 0;
  virtual bool Set(std::string_view name, const TRegValue& value) = 0;
  // Removing a missing value succeeds.
  virtual bool DeleteValue(std::string_view name) = 0;
  // Deletes a key with everything below it. Deleting a missing key succeeds.
  virtual bool DeleteTree(std::string_view path) = 0;
};

enum class TRegAccess { Read, Write };

// Everything read and written between the start of a session and its Commit.
// A read session sees one consistent state of the store; a write session holds
// the store for itself until it ends, so a load-modify-save cycle inside it
// cannot lose another process's edit.
class TRegSession {
 public:
  virtual ~TRegSession() = default;
  virtual TRegKey& LocalMachine() = 0;
  // Makes the writes of a write session durable. False when the store could
  // not be written; the store then holds what it held before the session.
  virtual bool Commit() = 0;
  // False when a store exists but could not be read: the session then shows
  // an empty store, and nothing may be written over the real one.
  virtual bool Readable() const { return true; }
  // What went wrong, for a message: why the store could not be read or
  // written, or which lines of a damaged store were skipped. Empty when
  // nothing did. The library itself never prints it.
  virtual std::string Problem() const { return {}; }
};

class TRegStore {
 public:
  virtual ~TRegStore() = default;
  // Null when the store cannot be reached at all for that access (for
  // writing: also when it exists but cannot be read, or another process
  // holds it for longer than the store waits); `problem` then says why.
  virtual std::unique_ptr<TRegSession> Begin(TRegAccess access, std::string& problem) = 0;
  std::unique_ptr<TRegSession> Begin(TRegAccess access) {
    std::string ignored;
    return Begin(access, ignored);
  }
};

// Text of a REG_SZ value, cut at its first zero byte (a stored terminating
// zero is therefore ignored) and to `limit` characters. Empty when the value is
// missing or of another type.
std::optional<std::string> QueryText(TRegKey& key, std::string_view name,
                                     std::size_t limit = 255);
// A REG_DWORD value of exactly four bytes, little-endian.
std::optional<uint32_t> QueryDword(TRegKey& key, std::string_view name);
// Writes a REG_SZ without a terminating zero.
bool SetText(TRegKey& key, std::string_view name, std::string_view text);
bool SetDword(TRegKey& key, std::string_view name, uint32_t value);
// Copies a key's values and subkeys with everything below them, or its
// subkeys alone; false as soon as anything could not be read or written.
bool CopyKey(TRegKey& from, TRegKey& to);
bool CopySubkeys(TRegKey& from, TRegKey& to);

}  // namespace korvel
