// The library's store seam: what a store of client passwords keeps (the
// version values and the list) and the two things it does with them, in the
// program's own terms. The registry store (Windows) and the file store
// implement it; both keep the same layout under
// HKEY_LOCAL_MACHINE\SOFTWARE\Calvek\ZORVA\CurrentVersion, named here.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ClientPassword.h"

namespace korvel {

struct TZorvaVersions {
  uint32_t MajorVersion = 1;
  uint32_t MinorVersion = 0;
  uint32_t Build = 1;
  uint32_t InstallationDate = 0;

  friend bool operator==(const TZorvaVersions&, const TZorvaVersions&) = default;
};

// The client passwords as a store holds them.
struct TStoredPasswords {
  TZorvaVersions Versions;  // defaults for values the store does not hold
  bool HasList = false;     // the store holds a list (which may be empty)
  std::vector<TClientPassword> Records;

  friend bool operator==(const TStoredPasswords&, const TStoredPasswords&) = default;
};

inline constexpr int kAllWritten = -1;
inline constexpr int kStoreNotWritable = -2;  // no record was tried
inline constexpr int kStoreChanged = -3;      // a conditional save found another's edit

class TPasswordStore {
 public:
  virtual ~TPasswordStore() = default;
  // Reads the version values and the list, one consistent state of the
  // store; never writes. False when a store exists but cannot be read:
  // `stored` then holds the defaults and no list, `problem` says why. True
  // with a note in `problem` when a damaged store was read as far as it goes.
  virtual bool Load(TStoredPasswords& stored, std::string& problem) = 0;
  // Replaces the stored version values and list (HasList is implied), all or
  // nothing: a load sees the old ones or the new ones, whole, wherever the
  // save stops. With `expected`, it writes only while the store still holds
  // exactly those records and version values (checked under the store's
  // lock), so that another program's edit is never reverted. Returns
  // kAllWritten, kStoreNotWritable (`problem` says why), kStoreChanged, or the
  // position of the first record that could not be written.
  virtual int Save(const TStoredPasswords& next, const TStoredPasswords* expected,
                   std::string& problem) = 0;
  // Where the store keeps the list, and whose list it is, in lines for the
  // operator.
  virtual std::string Where() = 0;
  // From now on the store's lock is waited for at most this long (a load
  // then reads without it, a save fails). The library's detach sets zero:
  // under the system's loader lock nothing may wait for another program.
  virtual void SetLockWait(std::chrono::milliseconds wait) { (void)wait; }
};

// ---- the layout both stores keep -----------------------------------------

inline constexpr char kZorvaKeyPath[] = "SOFTWARE\\Calvek\\ZORVA\\CurrentVersion";
inline constexpr char kClientPasswordsKey[] = "ClientPasswords";
// Beside "ClientPasswords" while a registry save rewrites it: the list as it
// was, with the value kSavingCopyComplete written last once the copy is whole
// and removed first when the save is done with it. A load that finds a
// complete copy reads the list from it.
inline constexpr char kSavingCopyKey[] = "ClientPasswords.Saving";
inline constexpr char kSavingCopyComplete[] = "Complete";
// The four texts of a record's key, and the most of each a load reads.
inline constexpr const char* kRecordValues[] = {"Tag", "Challenge", "String", "Type"};
// A record's optional texts, written only when they are not empty (older
// versions neither read nor need them): the reply line template, and the
// operator's word that asks for a challenge.
inline constexpr char kReplyLineValue[] = "ReplyLine";
inline constexpr char kTriggerValue[] = "Trigger";
inline constexpr std::size_t kStoredTextLimit = 255;

// Whether two states hold the same records and version values (what a
// conditional save compares; whether a list key exists does not count).
bool SameRecordsAndVersions(const TStoredPasswords& a, const TStoredPasswords& b);
// A record from its stored texts (Tag, Challenge, String, Type, ReplyLine,
// Trigger), each cut at its first zero byte and to kStoredTextLimit
// characters.
TClientPassword RecordFromTexts(std::string_view tag, std::string_view challenge,
                                std::string_view string, std::string_view type,
                                std::string_view replyLine = {}, std::string_view trigger = {});
// The record as a load reads it back after a save.
TClientPassword AsStored(const TClientPassword& record);
// The record subkeys in the order they were saved: decimal names by value,
// then any other names in the order given.
std::vector<std::string> RecordKeyOrder(const std::vector<std::string>& names);
// The subkey name of the record at a position.
std::string RecordKeyName(int position);

}  // namespace korvel
