// The few file operations the file store and korvel's export need, for each
// platform: whole reads that tell a missing file from an unreadable one,
// atomic replacement beside the real file, folders, and a lock that processes
// share with a bounded wait.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace korvel {

// How long a store waits for another process's lock before it gives up: a
// reader then reads without the lock (a file store is always whole), a
// writer fails and writes nothing.
inline constexpr std::chrono::milliseconds kStoreLockWait{3000};

}  // namespace korvel

namespace korvel::fileio {

std::string Dirname(const std::string& path);
// The folder where programs keep the user's settings ($XDG_CONFIG_HOME, else
// $HOME/.config; %APPDATA% on Windows); empty when there is none.
std::string UserConfigFolder();
// A name inside a folder, joined with this platform's separator.
std::string Join(const std::string& dir, const std::string& name);
// Creates the folder and the folders above it (owner-only where that exists).
bool EnsureDir(const std::string& dir);

enum class TReadStatus {
  Read,        // the bytes are the whole file
  Missing,     // nothing at the path
  Unreadable,  // something is there but cannot be read as a file
};
// Reads a whole regular file of at most `limit` bytes, never through a link
// (resolve the path first). For Unreadable, `problem` says why (no
// permission, a folder, a device, a link, too large, ...).
TReadStatus ReadWholeFile(const std::string& path, std::string& bytes,
                          std::string* problem = nullptr, std::size_t limit = SIZE_MAX);

// The path with its symbolic links resolved (also a link whose target does not
// exist yet), so that a replacement lands beside the real file. Only links of
// the user's own or of the system's (root's) are followed: a link that another
// user planted stays as it is, and reading or replacing it is then refused.
// The path as it is when it is no link.
std::string ResolvePath(const std::string& path);

// Whether something other than a regular file (a folder, a device, a pipe)
// stands at the path; a link counts as what it points to.
bool IsSpecialFile(const std::string& path);
// Writes the bytes into a device or a pipe that stands at the path (an export
// to /dev/stdout, or a pipe of a shell's). Only devices and pipes of the
// user's own are written, and a pipe nobody reads is an error, not a hang.
bool WriteSpecialFile(const std::string& path, const std::string& bytes,
                      std::string* problem = nullptr);

// Who may use a replacement's new file. On Windows both modes make it the
// current user's alone (a protected DACL with one ACE, for the process's user).
enum class TNewFileMode {
  // The owner of the file replaced and its owner permissions (group and
  // others never get any); owner-only when new.
  KeepExisting,
  OwnerOnly,  // readable and writable by its owner only
};
// Writes the bytes into a new file beside PATH (a unique name, created
// exclusively, never through a link), flushes it to disk, renames it over
// PATH and flushes the folder, so PATH is always either the old file or the
// new one, whole. Refuses to replace anything that is not a regular file, and
// a file of another user in a folder that user does not own (root's saves
// keep a user's store the user's, but never write into a file planted in a
// shared folder). A new file that root makes in a user's folder is the
// user's. False with the reason in `problem`; PATH is then as it was.
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

// For the platform files: one try of a lock, and the tries of a bounded wait.
enum class TLockTry { Taken, Held, Failed };
// Tries again every 20 ms while another process holds the lock, until the
// wait is over; the result of the last try.
TLockTry TryLockFor(std::chrono::milliseconds wait, const std::function<TLockTry()>& attempt);
// The reason a lock that stayed held gives.
std::string HeldBy(const std::string& lockPath);

}  // namespace korvel::fileio
