#include "MemoryStore.h"

#include <algorithm>

namespace korvel::test {

bool TMemoryStore::Load(TStoredPasswords& stored, std::string& problem) {
  if (Unreadable) {
    stored = TStoredPasswords{};
    problem = *Unreadable;
    return false;
  }
  stored = Passwords;
  problem = Note;
  return true;
}

int TMemoryStore::Save(const TStoredPasswords& next, const TStoredPasswords* expected,
                       std::string& problem) {
  ++SaveCalls;
  SavedWithWait = LockWait;
  if (BeforeSave) BeforeSave(*this);
  if (Unreadable || RefuseSaves) {
    problem = Unreadable ? *Unreadable : "the test store refuses saves";
    return kStoreNotWritable;
  }
  if (expected && !SameRecordsAndVersions(Passwords, *expected)) return kStoreChanged;
  if (RefuseRecord >= 0 && static_cast<std::size_t>(RefuseRecord) < next.Records.size())
    return RefuseRecord;  // all or nothing: the store keeps what it held
  Passwords = next;
  Passwords.HasList = true;
  std::transform(Passwords.Records.begin(), Passwords.Records.end(), Passwords.Records.begin(),
                 AsStored);
  Note.clear();
  return kAllWritten;
}

bool TMemoryStore::Save(const TKorSettings& settings) {
  if (Unreadable || RefuseSaves) return false;
  TKorStoredValues values = StoredFromSettings(settings);
  values.HelpFilename = Settings.HelpFilename;  // never written by a save
  Settings = values;
  return true;
}

}  // namespace korvel::test
