// The few file operations the file store and korvel's export need, for each
// platform: whole reads that tell a missing file from an unreadable one,
// atomic replacement beside the real file, folders, and a lock that processes
// share with a bounded wait.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace korvel::fileio {

std::string Dirname(const std::string& path);
// Creates the folder and the folders above it (owner-only where that exists).
bool EnsureDir(const std::string& dir);

enum class TReadStatus {
  Read,        // the bytes are the whole file
  Missing,     // nothing at the path
  Unreadable,  // something is there but cannot be read as a file
};
// Reads a whole regular file. For Unreadable, `problem` says why (no
// permission, a folder, a device, ...).
TReadStatus ReadWholeFile(const std::string& path, std::string& bytes,
                          std::string* problem = nullptr);

// The path with its symbolic links resolved (also a link whose target does not
// exist yet), so that a replacement lands beside the real file. The path as it
// is when it is no link.
std::string ResolvePath(const std::string& path);

// Whether something other than a regular file (a folder, a device, a pipe)
// stands at the path; a link counts as what it points to.
bool IsSpecialFile(const std::string& path);

enum class TNewFileMode {
  KeepExisting,  // the owner and mode of the file replaced; owner-only when new
  OwnerOnly,     // readable and writable by its owner only
};
// Writes the bytes into a new file beside PATH (a unique name, created
// exclusively, never through a link), flushes it to disk, renames it over
// PATH and flushes the folder, so PATH is always either the old file or the
// new one, whole. Refuses to replace anything that is not a regular file.
// False with the reason in `problem`; PATH is then as it was.
bool ReplaceWholeFile(const std::string& path, const std::string& bytes, TNewFileMode mode,
                      std::string* problem = nullptr);
// Removes what a save killed half-way left beside PATH (its temporary files).
// Call only while holding the lock that writers of PATH take.
void RemoveStaleTemporaries(const std::string& path);

enum class TLockStatus {
  Locked,
  Busy,      // another process held it for the whole wait
  Unusable,  // the lock file cannot be made or opened (see Problem())
};

// A lock on a companion file: shared for readers, exclusive for a writer.
// Held until destroyed. The lock file is never opened through a link.
class TFileLock {
 public:
  TFileLock(const std::string& path, bool exclusive, bool mayCreate,
            std::chrono::milliseconds wait);
  ~TFileLock();
  TFileLock(const TFileLock&) = delete;
  TFileLock& operator=(const TFileLock&) = delete;
  TLockStatus Status() const { return State; }
  bool Locked() const { return State == TLockStatus::Locked; }
  const std::string& Problem() const { return Why; }

 private:
  void* Handle = nullptr;
  TLockStatus State = TLockStatus::Unusable;
  std::string Why;
};

// Every step of a replacement passes through a hook that tests set, to watch
// the order of the steps or to make a chosen one fail as the system would.
enum class TFileStep { CreateTemp, Write, Sync, Rename, SyncFolder };
using TFileStepHook = std::function<bool(TFileStep step, const std::string& path)>;
// An empty hook (the default) lets every step run.
void SetFileStepHook(TFileStepHook hook);
// For the platform files: whether the hook lets a step run.
bool StepAllowed(TFileStep step, const std::string& path);

}  // namespace korvel::fileio
