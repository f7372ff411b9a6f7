// Reading and writing the client passwords in the store, under
// HKEY_LOCAL_MACHINE\SOFTWARE\Calvek\ZORVA\CurrentVersion.
#pragma once

#include <cstdint>

#include "ClientPassword.h"
#include "RegKey.h"

namespace korvel {

inline constexpr char kZorvaKeyPath[] = "SOFTWARE\\Calvek\\ZORVA\\CurrentVersion";
inline constexpr char kClientPasswordsKey[] = "ClientPasswords";
// Beside "ClientPasswords" while a save rewrites it: the list as it was, with
// the value kSavingCopyComplete written last once the copy is whole and
// removed first when the save is done with it.
inline constexpr char kSavingCopyKey[] = "ClientPasswords.Saving";
inline constexpr char kSavingCopyComplete[] = "Complete";

struct TZorvaVersions {
  uint32_t MajorVersion = 1;
  uint32_t MinorVersion = 0;
  uint32_t Build = 1;
  uint32_t InstallationDate = 0;

  friend bool operator==(const TZorvaVersions&, const TZorvaVersions&) = default;
};

enum class TStoreState { NoKey, NoList, Loaded };

// Reads the version values (defaults for the missing ones, all defaults when
// the key is missing) and, when the "ClientPasswords" key exists, replaces the
// records with the stored ones, in the numeric order of their subkey names.
// After a save that did not finish, the records are those of the complete
// copy it left (the list before that save). Never writes.
TStoreState ReadClientPasswords(TRegKey& machine, TZorvaVersions& versions,
                                TClientPasswordList& records);

inline constexpr int kAllWritten = -1;
inline constexpr int kStoreNotWritable = -2;  // no record was tried

// Replaces the stored records and version values, so that a load sees the old
// list or the new one, whole, wherever the save stops. Returns kAllWritten when
// everything was written, kStoreNotWritable when the key, the version values
// or the list key could not be written, else the position of the first record
// that could not be written.
int WriteClientPasswords(TRegKey& machine, const TZorvaVersions& versions,
                         const TClientPasswordList& records);

}  // namespace korvel
