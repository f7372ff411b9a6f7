// The library's module object: one per process while the library is loaded.
// It owns the client-password list and answers the exports.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "ClientPassword.h"
#include "PasswordStore.h"

namespace korvel {

class TZORVAModule {
 public:
  static constexpr char kName[] = "ZudezuRER32";

  // Loads the store into the list. A null store, or one that exists but
  // cannot be read, gives an empty list that is never stored.
  explicit TZORVAModule(std::shared_ptr<TPasswordStore> store);
  // Writes the list back when it changed since it was loaded or saved (see
  // SaveAtUnload).
  ~TZORVAModule();
  TZORVAModule(const TZORVAModule&) = delete;
  TZORVAModule& operator=(const TZORVAModule&) = delete;

  uint32_t MajorVersion = 1;
  uint32_t MinorVersion = 0;
  uint32_t Build = 1;
  uint32_t InstallationDate = 0;
  std::unique_ptr<TClientPasswordList> ClientPasswords = std::make_unique<TClientPasswordList>();
  // False when the process is ending: the destructor then writes nothing.
  bool SaveOnUnload = true;

  // Replaces the list with the stored records; the list stays as it is when
  // the store holds no "ClientPasswords" key.
  void LoadClientPasswords();
  // Replaces the stored records with the list. kAllWritten when all was
  // written, kStoreNotWritable when the store could not be opened or written
  // at all, else the position of the first record that could not be.
  int SaveClientPasswords();
  // The save at unload. It writes only when the list or the version values
  // changed since this module last loaded or saved them, and then only while
  // the store still holds what it loaded or saved, so that an edit another
  // process saved meanwhile is never reverted; never over a store that could
  // not be read. True when it wrote.
  bool SaveAtUnload();
  // False while the store exists but could not be read.
  bool StoreReadable() const { return Readable; }
  // The save at unload, and every later store access, take the store's lock
  // only when it is free at once (see TPasswordStore::SetLockWait).
  void NeverWaitForTheStore() {
    if (StoreBackend) StoreBackend->SetLockWait(std::chrono::milliseconds(0));
  }

  bool SearchChallenge(const char* text, int& position) const;
  bool IsolateChallenge(const char* text, char* challenge, unsigned length, int position,
                        int& counter) const;
  bool MakeChallengeReply(char* challenge, char* reply, unsigned length, int position);
  // Whether the challenge of the record at `position` stands whole in a text
  // that may still grow (a prompt without a line end): as many numbers as
  // the record answers, each ended by another character, and no bracket left
  // open. The automatic reply would answer a part of it.
  bool ChallengeComplete(const char* text, int position) const;
  // Searches, isolates and answers a received text in one call. `matched`,
  // when given, gets the position of the record that answered.
  bool AutoReply(const char* text, char* reply, unsigned length, int* matched = nullptr);

 private:
  // The working buffers of the automatic reply hold this many characters and
  // the terminating zero.
  static constexpr unsigned kWorkLength = 256;
  // The answer of the record at `position`, whose prompt occurs in the text,
  // in a working buffer.
  bool AnswerWith(const char* text, int position, char* answer);
  TZorvaVersions Versions() const;
  void SetVersions(const TZorvaVersions& versions);
  TStoredPasswords Current() const;

  std::shared_ptr<TPasswordStore> StoreBackend;
  TStoredPasswords Stored;  // as last loaded or saved
  bool Readable = true;
};

}  // namespace korvel
