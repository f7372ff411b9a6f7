// The file store: one REGEDIT4 file, read and replaced whole under a lock.
#include <cstdlib>
#include <string>

#include "FileIO.h"
#include "RegStores.h"

namespace korvel {
namespace {

class TFileSession final : public TRegSession {
 public:
  TFileSession(std::string path, TRegAccess access, std::unique_ptr<fileio::TFileLock> lock)
      : Path(std::move(path)), Access(access), Lock(std::move(lock)) {
    std::string why;
    switch (fileio::ReadWholeFile(Path, Original, &why)) {
      case fileio::TReadStatus::Missing:
        return;  // no store yet: an empty tree
      case fileio::TReadStatus::Unreadable:
        Unreadable = true;
        Why = "cannot read the store " + why + "; it is left as it is";
        return;
      case fileio::TReadStatus::Read:
        break;
    }
    Loaded = true;
    if (Original.empty()) return;  // an empty file is an empty store
    TRegParseResult parsed = ParseRegFile(Original);
    if (!parsed.Header) {
      // Not even an export file: another file the path was pointed at. It
      // is nobody's store to replace.
      Unreadable = true;
      Why = Path + " is not a store file (it does not start with REGEDIT4); it is left as it is";
      return;
    }
    Root = parsed.Root;
    if (!parsed.Errors.empty()) {
      Damaged = true;
      const TRegParseError& first = parsed.Errors.front();
      Why = Path + ", line " + std::to_string(first.Line) + ": " + first.Message + " (" +
            std::to_string(parsed.Errors.size()) +
            " unreadable line(s) skipped; the file is kept as " + Path +
            ".bad when the store is next saved)";
    }
  }

  TRegKey& LocalMachine() override {
    if (!Machine) Machine = MakeTreeKey(Root)->Create("HKEY_LOCAL_MACHINE");
    return *Machine;
  }

  bool Readable() const override { return !Unreadable; }
  std::string Problem() const override { return Why; }

  bool Commit() override {
    if (Access != TRegAccess::Write || Unreadable) return false;
    fileio::RemoveStaleTemporaries(Path);
    // A file that could not be read cleanly is kept before it is replaced.
    if (Loaded && Damaged &&
        !fileio::ReplaceWholeFile(Path + ".bad", Original, fileio::TNewFileMode::OwnerOnly, &Why))
      return false;
    std::string text = WriteRegFile(*Root);
    if (!fileio::ReplaceWholeFile(Path, text, fileio::TNewFileMode::KeepExisting, &Why))
      return false;
    Original = std::move(text);
    Damaged = false;
    Why.clear();
    return true;
  }

 private:
  std::string Path;
  TRegAccess Access;
  std::unique_ptr<fileio::TFileLock> Lock;  // held for the whole session
  std::string Original;
  std::string Why;
  bool Loaded = false;
  bool Damaged = false;
  bool Unreadable = false;
  std::shared_ptr<TRegNode> Root = std::make_shared<TRegNode>();
  std::unique_ptr<TRegKey> Machine;
};

class TFileRegStore final : public TRegStore {
 public:
  TFileRegStore(std::string path, std::chrono::milliseconds lockWait)
      : Path(std::move(path)), LockWait(lockWait) {}

  using TRegStore::Begin;
  std::unique_ptr<TRegSession> Begin(TRegAccess access, std::string& problem) override {
    // Resolved once per session: a linked store is read and written where it is.
    std::string path = fileio::ResolvePath(Path);
    bool write = access == TRegAccess::Write;
    if (write && !fileio::EnsureDir(fileio::Dirname(path))) {
      problem = "cannot make the folder " + fileio::Dirname(path);
      return nullptr;
    }
    auto lock = std::make_unique<fileio::TFileLock>(path + ".lock", write, true, LockWait);
    // A reader that cannot have the lock (read-only folder, no store yet, a
    // writer that takes too long) reads without it: a store file is replaced
    // whole, never changed in place, so what it reads is whole.
    if (write && !lock->Locked()) {
      problem = lock->Problem();
      return nullptr;
    }
    auto session = std::make_unique<TFileSession>(path, access, std::move(lock));
    if (write && !session->Readable()) {
      problem = session->Problem();
      return nullptr;
    }
    return session;
  }

 private:
  std::string Path;
  std::chrono::milliseconds LockWait;
};

}  // namespace

std::unique_ptr<TRegStore> MakeFileRegStore(std::string path, std::chrono::milliseconds lockWait) {
  return std::make_unique<TFileRegStore>(std::move(path), lockWait);
}

std::string DefaultFileStorePath() {
  if (const char* store = std::getenv("KORVEL_STORE"); store && *store) return store;
  std::string config = fileio::UserConfigFolder();
  if (config.empty()) return {};
  return fileio::Join(fileio::Join(config, "korvel"), "registry.reg");
}

std::unique_ptr<TRegStore> MakeDefaultFileRegStore() {
  std::string path = DefaultFileStorePath();
  if (path.empty()) return nullptr;
  return MakeFileRegStore(path);
}

}  // namespace korvel
