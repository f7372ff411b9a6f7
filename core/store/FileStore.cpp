#include "FileStore.h"

#include <cstdlib>

namespace korvel {
namespace {

constexpr char kMachine[] = "HKEY_LOCAL_MACHINE";

std::string Under(const char* key, const char* below) { return std::string(key) + "\\" + below; }

}  // namespace

// ---- the layouts -----------------------------------------------------------

void ReadPasswords(const TRegNode& root, TStoredPasswords& stored) {
  stored = TStoredPasswords{};
  const TRegNode* machine = root.Find(kMachine);
  const TRegNode* key = machine ? machine->Find(kZorvaKeyPath) : nullptr;
  if (!key) return;
  TZorvaVersions& v = stored.Versions;
  v.MajorVersion = key->Dword("MajorVersion").value_or(v.MajorVersion);
  v.MinorVersion = key->Dword("MinorVersion").value_or(v.MinorVersion);
  v.Build = key->Dword("Build").value_or(v.Build);
  v.InstallationDate = key->Dword("InstallationDate").value_or(v.InstallationDate);
  const TRegNode* list = key->Find(kSavingCopyKey);
  if (!list || !list->Value(kSavingCopyComplete)) list = key->Find(kClientPasswordsKey);
  if (!list) return;
  stored.HasList = true;
  std::vector<std::string> names;
  for (const auto& [name, record] : list->Keys) names.push_back(name);
  for (const std::string& name : RecordKeyOrder(names)) {
    const TRegNode& record = *list->Keys.at(name);
    auto text = [&](const char* value) { return record.Text(value).value_or(""); };
    stored.Records.push_back(RecordFromTexts(text("Tag"), text("Challenge"), text("String"),
                                             text("Type"), text(kReplyLineValue),
                                             text(kTriggerValue)));
  }
}

void WritePasswords(TRegNode& root, const TStoredPasswords& stored) {
  TRegNode* key = root.Create(Under(kMachine, kZorvaKeyPath));
  const TZorvaVersions& v = stored.Versions;
  key->SetDword("MajorVersion", v.MajorVersion);
  key->SetDword("MinorVersion", v.MinorVersion);
  key->SetDword("Build", v.Build);
  key->SetDword("InstallationDate", v.InstallationDate);
  // The file is replaced whole, so no copy of the old list is needed beside
  // the new one; one left by a registry save goes with the list it kept.
  key->Erase(kSavingCopyKey);
  key->Erase(kClientPasswordsKey);
  TRegNode* list = key->Create(kClientPasswordsKey);
  for (std::size_t i = 0; i < stored.Records.size(); ++i) {
    const TClientPassword& r = stored.Records[i];
    TRegNode* record = list->Create(RecordKeyName(static_cast<int>(i)));
    record->SetText("Tag", r.Tag);
    record->SetText("Challenge", r.Challenge);
    record->SetText("String", r.String);
    record->SetText("Type", TypeText(r));
    if (!r.ReplyLine.empty()) record->SetText(kReplyLineValue, r.ReplyLine);
    if (!r.Trigger.empty()) record->SetText(kTriggerValue, r.Trigger);
  }
}

TKorStoredValues ReadKorValues(const TRegNode& root) {
  TKorStoredValues values;
  const TRegNode* machine = root.Find(kMachine);
  const TRegNode* key = machine ? machine->Find(kKorKeyPath) : nullptr;
  if (!key) return values;
  values.HasKey = true;
  const TRegNode* hotkey = key->Find(kHotkeyKey);
  values.HasHotkeyKey = hotkey != nullptr;
  values.HelpFilename = key->Text(kHelpFileValue);
  for (const TKorValueName& name : kKorDwordValues) {
    const TRegNode* in = name.InHotkeyKey ? hotkey : key;
    if (auto value = in ? in->Dword(name.Name) : std::nullopt) values.Dwords[name.Name] = *value;
  }
  return values;
}

void WriteKorValues(TRegNode& root, const TKorStoredValues& values) {
  TRegNode* key = root.Create(Under(kMachine, kKorKeyPath));
  TRegNode* hotkey = key->Create(kHotkeyKey);
  for (const TKorValueName& name : kKorDwordValues)
    if (auto it = values.Dwords.find(name.Name); it != values.Dwords.end())
      (name.InHotkeyKey ? hotkey : key)->SetDword(name.Name, it->second);
}

// ---- the file --------------------------------------------------------------

struct TFileStore::TOpened {
  std::string Path;
  std::unique_ptr<fileio::TFileLock> Lock;  // held while the file is open
  std::string Original;
  std::shared_ptr<TRegNode> Root = std::make_shared<TRegNode>();
  bool Loaded = false;
  bool Damaged = false;
  std::string Note;  // which lines of a damaged file were skipped
};

bool TFileStore::Open(bool write, TOpened& file, std::string& problem) const {
  // Resolved once: a linked store is read and written where it is.
  file.Path = fileio::ResolvePath(Path);
  if (write && !fileio::EnsureDir(fileio::Dirname(file.Path))) {
    problem = "cannot make the folder " + fileio::Dirname(file.Path);
    return false;
  }
  file.Lock = std::make_unique<fileio::TFileLock>(file.Path + ".lock", write, true, LockWait);
  // A reader that cannot have the lock (read-only folder, no store yet, a
  // writer that takes too long) reads without it: a store file is replaced
  // whole, never changed in place, so what it reads is whole.
  if (write && !file.Lock->Locked()) {
    problem = file.Lock->Problem();
    return false;
  }
  std::string why;
  switch (fileio::ReadWholeFile(file.Path, file.Original, &why)) {
    case fileio::TReadStatus::Missing: return true;  // no store yet: an empty tree
    case fileio::TReadStatus::Unreadable:
      problem = "cannot read the store " + why + "; it is left as it is";
      return false;
    case fileio::TReadStatus::Read: break;
  }
  file.Loaded = true;
  if (file.Original.empty()) return true;  // an empty file is an empty store
  TRegParseResult parsed = ParseRegFile(file.Original);
  if (!parsed.Header) {
    // Not even an export file: another file the path was pointed at. It is
    // nobody's store to replace.
    problem =
        file.Path + " is not a store file (it does not start with REGEDIT4); it is left as it is";
    return false;
  }
  file.Root = parsed.Root;
  if (!parsed.Errors.empty()) {
    file.Damaged = true;
    const TRegParseError& first = parsed.Errors.front();
    file.Note = file.Path + ", line " + std::to_string(first.Line) + ": " + first.Message + " (" +
                std::to_string(parsed.Errors.size()) +
                " unreadable line(s) skipped; the file is kept as " + file.Path +
                ".bad when the store is next saved)";
  }
  return true;
}

bool TFileStore::Commit(TOpened& file, std::string& problem) const {
  fileio::RemoveStaleTemporaries(file.Path);
  // A file that could not be read cleanly is kept before it is replaced.
  if (file.Loaded && file.Damaged &&
      !fileio::ReplaceWholeFile(file.Path + ".bad", file.Original, fileio::TNewFileMode::OwnerOnly,
                                &problem))
    return false;
  return fileio::ReplaceWholeFile(file.Path, WriteRegFile(*file.Root),
                                  fileio::TNewFileMode::KeepExisting, &problem);
}

bool TFileStore::Load(TStoredPasswords& stored, std::string& problem) {
  stored = TStoredPasswords{};
  TOpened file;
  if (!Open(false, file, problem)) return false;
  ReadPasswords(*file.Root, stored);
  problem = file.Note;
  return true;
}

int TFileStore::Save(const TStoredPasswords& next, const TStoredPasswords* expected,
                     std::string& problem) {
  TOpened file;
  if (!Open(true, file, problem)) return kStoreNotWritable;
  if (expected) {
    TStoredPasswords current;
    ReadPasswords(*file.Root, current);
    if (!SameRecordsAndVersions(current, *expected)) return kStoreChanged;
  }
  WritePasswords(*file.Root, next);
  return Commit(file, problem) ? kAllWritten : kStoreNotWritable;
}

void TFileStore::Load(TKorSettings& settings) {
  TOpened file;
  std::string problem;
  settings =
      Open(false, file, problem) ? SettingsFromStored(ReadKorValues(*file.Root)) : TKorSettings{};
}

bool TFileStore::Save(const TKorSettings& settings) {
  TOpened file;
  std::string problem;
  if (!Open(true, file, problem)) return false;
  WriteKorValues(*file.Root, StoredFromSettings(settings));
  return Commit(file, problem);
}

std::string DefaultFileStorePath() {
  if (const char* store = std::getenv("KORVEL_STORE"); store && *store) return store;
  std::string config = fileio::UserConfigFolder();
  if (config.empty()) return {};
  return fileio::Join(fileio::Join(config, "korvel"), "registry.reg");
}

std::unique_ptr<TFileStore> MakeDefaultFileStore() {
  std::string path = DefaultFileStorePath();
  if (path.empty()) return nullptr;
  return std::make_unique<TFileStore>(path);
}

}  // namespace korvel
