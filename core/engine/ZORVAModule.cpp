#include "ZORVAModule.h"

namespace korvel {

TZORVAModule::TZORVAModule(std::shared_ptr<TRegStore> store)
    : StoreBackend(std::move(store)) {
  LoadClientPasswords();
}

TZORVAModule::~TZORVAModule() {
  try {
    SaveAtUnload();
  } catch (...) {
    // Nothing can be reported while the library goes down.
  }
}

TZorvaVersions TZORVAModule::Versions() const {
  return {MajorVersion, MinorVersion, Build, InstallationDate};
}

void TZORVAModule::SetVersions(const TZorvaVersions& versions) {
  MajorVersion = versions.MajorVersion;
  MinorVersion = versions.MinorVersion;
  Build = versions.Build;
  InstallationDate = versions.InstallationDate;
}

void TZORVAModule::LoadClientPasswords() {
  TZorvaVersions versions;
  TClientPasswordList stored;
  std::unique_ptr<TRegSession> session;
  if (StoreBackend) session = StoreBackend->Begin(TRegAccess::Read);
  TStoreState state = TStoreState::NoKey;
  Readable = !session || session->Readable();
  if (session) state = ReadClientPasswords(session->LocalMachine(), versions, stored);
  SetVersions(versions);
  StoredRecords = stored.Snapshot();
  StoredVersions = versions;
  if (state == TStoreState::Loaded) std::swap(*ClientPasswords, stored);
}

int TZORVAModule::SaveClientPasswords() {
  if (!StoreBackend) return kStoreNotWritable;
  auto session = StoreBackend->Begin(TRegAccess::Write);
  if (!session) return kStoreNotWritable;
  int failed = WriteClientPasswords(session->LocalMachine(), Versions(), *ClientPasswords);
  if (failed != kAllWritten) return failed;
  // What a later load will read back (texts cut to the store's limit).
  TZorvaVersions versions;
  TClientPasswordList written;
  ReadClientPasswords(session->LocalMachine(), versions, written);
  if (!session->Commit()) return kStoreNotWritable;
  StoredRecords = written.Snapshot();
  StoredVersions = versions;
  Readable = true;
  return kAllWritten;
}

bool TZORVAModule::SaveAtUnload() {
  if (!StoreBackend || !Readable) return false;
  auto session = StoreBackend->Begin(TRegAccess::Write);
  if (!session) return false;
  TZorvaVersions versions;
  TClientPasswordList current;
  ReadClientPasswords(session->LocalMachine(), versions, current);
  if (current.Snapshot() != StoredRecords || versions != StoredVersions) return false;
  if (WriteClientPasswords(session->LocalMachine(), Versions(), *ClientPasswords) != kAllWritten)
    return false;
  return session->Commit();
}

}  // namespace korvel
