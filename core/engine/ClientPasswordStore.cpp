#include "ClientPasswordStore.h"

#include <algorithm>
#include <cstdio>

#include "CharClass.h"

namespace korvel {
namespace {

bool IsDecimalName(const std::string& name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), IsDigit);
}

// Orders decimal names by their value, without converting them (a name may
// have more digits than any integer type holds).
bool NumericLess(const std::string& a, const std::string& b) {
  std::string_view x(a), y(b);
  while (x.size() > 1 && x.front() == '0') x.remove_prefix(1);
  while (y.size() > 1 && y.front() == '0') y.remove_prefix(1);
  if (x.size() != y.size()) return x.size() < y.size();
  return x < y;
}

// The record subkeys in the order they were saved: decimal names by value,
// then any other names in the order the store enumerates them.
std::vector<std::string> RecordKeyOrder(TRegKey& list) {
  std::vector<std::string> numbered, other;
  uint32_t count = list.SubKeyCount();
  for (uint32_t i = 0; i < count; ++i) {
    auto name = list.SubKeyName(i);
    if (!name) break;
    (IsDecimalName(*name) ? numbered : other).push_back(*name);
  }
  std::stable_sort(numbered.begin(), numbered.end(), NumericLess);
  numbered.insert(numbered.end(), other.begin(), other.end());
  return numbered;
}

// The copy of the list kept while a save rewrites it, when it is complete.
std::unique_ptr<TRegKey> CompleteSavingCopy(TRegKey& zorva) {
  auto copy = zorva.Open(kSavingCopyKey);
  if (copy && copy->Query(kSavingCopyComplete)) return copy;
  return nullptr;
}

}  // namespace

TStoreState ReadClientPasswords(TRegKey& machine, TZorvaVersions& versions,
                                TClientPasswordList& records) {
  versions = TZorvaVersions{};
  auto key = machine.Open(kZorvaKeyPath);
  if (!key) return TStoreState::NoKey;
  if (auto v = QueryDword(*key, "MajorVersion")) versions.MajorVersion = *v;
  if (auto v = QueryDword(*key, "MinorVersion")) versions.MinorVersion = *v;
  if (auto v = QueryDword(*key, "Build")) versions.Build = *v;
  if (auto v = QueryDword(*key, "InstallationDate")) versions.InstallationDate = *v;

  // A complete copy means the last save did not finish: the list it was
  // rewriting may be torn, the copy holds the list as it was before.
  auto list = CompleteSavingCopy(*key);
  if (!list) list = key->Open(kClientPasswordsKey);
  if (!list) return TStoreState::NoList;
  std::vector<std::string> order = RecordKeyOrder(*list);
  records.Flush();
  for (const std::string& name : order) {
    auto sub = list->Open(name);
    if (!sub) break;  // the records read so far stay
    auto record = std::make_unique<TClientPassword>();
    record->Tag = QueryText(*sub, "Tag").value_or("");
    record->Challenge = QueryText(*sub, "Challenge").value_or("");
    record->String = QueryText(*sub, "String").value_or("");
    ApplyTypeText(QueryText(*sub, "Type").value_or(""), *record);
    records.Add(std::move(record));
  }
  return TStoreState::Loaded;
}

int WriteClientPasswords(TRegKey& machine, const TZorvaVersions& versions,
                         const TClientPasswordList& records) {
  auto key = machine.Create(kZorvaKeyPath);
  if (!key) return kStoreNotWritable;
  bool ok = SetDword(*key, "MajorVersion", versions.MajorVersion);
  ok = SetDword(*key, "MinorVersion", versions.MinorVersion) && ok;
  ok = SetDword(*key, "Build", versions.Build) && ok;
  ok = SetDword(*key, "InstallationDate", versions.InstallationDate) && ok;
  if (!ok) return kStoreNotWritable;
  // The registry takes each write as it comes, so a save cut short (the
  // program killed, the machine off) would leave part of a list. Before the
  // list is taken apart it is copied beside it, and the copy is marked
  // complete by its last value: until the save has finished, loads read the
  // copy. A complete copy left by an earlier save that did not finish is kept
  // as it is, since the list beside it may be torn.
  if (!CompleteSavingCopy(*key)) {
    if (!key->DeleteTree(kSavingCopyKey)) return kStoreNotWritable;  // a copy cut short
    auto copy = key->Create(kSavingCopyKey);
    if (!copy) return kStoreNotWritable;
    // The records are the list's subkeys (the list key has no values of its
    // own), so the copy's one value is its mark.
    if (auto old = key->Open(kClientPasswordsKey); old && !CopySubkeys(*old, *copy))
      return kStoreNotWritable;
    if (!SetDword(*copy, kSavingCopyComplete, 1)) return kStoreNotWritable;
  }
  if (!key->DeleteTree(kClientPasswordsKey)) return kStoreNotWritable;
  auto list = key->Create(kClientPasswordsKey);
  if (!list) return kStoreNotWritable;
  for (int i = 0; i < records.Count(); ++i) {
    const TClientPassword& record = records.At(i);
    char name[16];
    std::snprintf(name, sizeof name, "%i", i);
    auto sub = list->Create(name);
    if (!sub || !SetText(*sub, "Tag", record.Tag) ||
        !SetText(*sub, "Challenge", record.Challenge) ||
        !SetText(*sub, "String", record.String) ||
        !SetText(*sub, "Type", TypeText(record)))
      return i;
  }
  // The list is whole again. The copy loses its mark before anything else,
  // so that from now on loads read the list, not a copy taken apart.
  auto copy = key->Open(kSavingCopyKey);
  if (copy && !copy->DeleteValue(kSavingCopyComplete)) return kStoreNotWritable;
  copy.reset();
  if (!key->DeleteTree(kSavingCopyKey)) return kStoreNotWritable;
  return kAllWritten;
}

}  // namespace korvel
