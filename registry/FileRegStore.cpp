// The file store: one REGEDIT4 file, read and replaced whole under a lock.
#include <cstdio>

#include "FileIO.h"
#include "RegStores.h"

namespace korvel {
namespace {

class TFileSession final : public TRegSession {
 public:
  TFileSession(std::string path, TRegAccess access, std::unique_ptr<fileio::TFileLock> lock)
      : Path(std::move(path)), Access(access), Lock(std::move(lock)) {
    if (!fileio::ReadWholeFile(Path, Original)) return;  // no store yet: empty tree
    Loaded = true;
    TRegParseResult parsed = ParseRegFile(Original);
    Root = parsed.Root;
    Damaged = !parsed.Errors.empty();
    if (Damaged) {
      const TRegParseError& first = parsed.Errors.front();
      std::fprintf(stderr,
                   "korvel: %s, line %d: %s (%zu unreadable line(s) skipped; the "
                   "file is kept as %s.bad when the store is next saved)\n",
                   Path.c_str(), first.Line, first.Message.c_str(), parsed.Errors.size(),
                   Path.c_str());
    }
  }

  TRegKey& LocalMachine() override {
    if (!Machine) Machine = MakeTreeKey(Root)->Create("HKEY_LOCAL_MACHINE");
    return *Machine;
  }

  bool Commit() override {
    if (Access != TRegAccess::Write) return false;
    // A file that could not be read cleanly is kept before it is replaced.
    if (Loaded && Damaged && !fileio::ReplaceWholeFile(Path + ".bad", Original)) return false;
    std::string text = WriteRegFile(*Root);
    if (!fileio::ReplaceWholeFile(Path, text)) return false;
    Original = std::move(text);
    Damaged = false;
    return true;
  }

 private:
  std::string Path;
  TRegAccess Access;
  std::unique_ptr<fileio::TFileLock> Lock;  // held for the whole session
  std::string Original;
  bool Loaded = false;
  bool Damaged = false;
  std::shared_ptr<TRegNode> Root = std::make_shared<TRegNode>();
  std::unique_ptr<TRegKey> Machine;
};

class TFileRegStore final : public TRegStore {
 public:
  explicit TFileRegStore(std::string path) : Path(std::move(path)) {}

  std::unique_ptr<TRegSession> Begin(TRegAccess access) override {
    bool write = access == TRegAccess::Write;
    if (write && !fileio::EnsureDir(fileio::Dirname(Path))) return nullptr;
    // A reader that cannot make the lock file (read-only folder, no store
    // yet) reads without it: nobody can be writing there either.
    auto lock = std::make_unique<fileio::TFileLock>(Path + ".lock", write, true);
    if (write && !lock->Locked()) return nullptr;
    return std::make_unique<TFileSession>(Path, access, std::move(lock));
  }

 private:
  std::string Path;
};

}  // namespace

std::unique_ptr<TRegStore> MakeFileRegStore(std::string path) {
  return std::make_unique<TFileRegStore>(std::move(path));
}

}  // namespace korvel
