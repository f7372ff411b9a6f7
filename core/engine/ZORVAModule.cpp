#include "ZORVAModule.h"

#include <algorithm>

namespace korvel {

TZORVAModule::TZORVAModule(std::shared_ptr<TPasswordStore> store) : StoreBackend(std::move(store)) {
  LoadClientPasswords();
}

TZORVAModule::~TZORVAModule() {
  try {
    if (SaveOnUnload) SaveAtUnload();
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

TStoredPasswords TZORVAModule::Current() const {
  return {Versions(), true, ClientPasswords->Snapshot()};
}

void TZORVAModule::LoadClientPasswords() {
  TStoredPasswords stored;
  std::string problem;
  Readable = !StoreBackend || StoreBackend->Load(stored, problem);
  SetVersions(stored.Versions);
  Stored = stored;
  if (stored.HasList) ClientPasswords->Assign(stored.Records);  // else the list stays as it is
}

int TZORVAModule::SaveClientPasswords() {
  if (!StoreBackend) return kStoreNotWritable;
  TStoredPasswords next = Current();
  std::string problem;
  int result = StoreBackend->Save(next, nullptr, problem);
  if (result != kAllWritten) return result;
  // What a later load reads back (texts cut to the store's limit).
  std::transform(next.Records.begin(), next.Records.end(), next.Records.begin(), AsStored);
  Stored = std::move(next);
  Readable = true;
  return kAllWritten;
}

bool TZORVAModule::SaveAtUnload() {
  if (!StoreBackend || !Readable) return false;
  TStoredPasswords current = Current();
  // Nothing changed since the list was loaded or saved: nothing to write (the
  // edit dialog saves when it closes).
  if (SameRecordsAndVersions(current, Stored)) return false;
  std::string problem;
  return StoreBackend->Save(current, &Stored, problem) == kAllWritten;
}

}  // namespace korvel
