#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "FileIO.h"

namespace korvel::fileio {
namespace {

// False when a test's hook makes the step fail; errno then says EIO.
bool Step(TFileStep step, const std::string& path) {
  if (StepAllowed(step, path)) return true;
  errno = EIO;
  return false;
}

std::string Reason(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string Basename(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Temporary files of PATH are ".NAME.tmp-XXXXXX" beside it: hidden, and
// recognisable as stale ones after a crash.
std::string TempPrefix(const std::string& path) { return "." + Basename(path) + ".tmp-"; }

}  // namespace

std::string Dirname(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool EnsureDir(const std::string& dir) {
  struct stat st {};
  if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  std::string parent = Dirname(dir);
  if (parent != dir && !EnsureDir(parent)) return false;
  return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

TReadStatus ReadWholeFile(const std::string& path, std::string& bytes, std::string* problem,
                          std::size_t limit) {
  bytes.clear();
  auto fail = [&](std::string why) {
    if (problem) *problem = std::move(why);
    return TReadStatus::Unreadable;
  };
  // O_NONBLOCK: a pipe at the path must not hang the reader. O_NOFOLLOW: the
  // path was resolved already; a link still there is one that is not followed.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
  if (fd < 0) {
    if (errno == ENOENT) return TReadStatus::Missing;
    if (errno == ELOOP)
      return fail(path + " is a link of another user's (or a loop of links); it is not followed");
    return fail(Reason(path, errno));
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    bool folder = S_ISDIR(st.st_mode);
    close(fd);
    return fail(path + (folder ? " is a folder, not a file" : " is not a regular file"));
  }
  if (static_cast<uint64_t>(st.st_size) > limit) {
    close(fd);
    return fail(path + " is larger than " + std::to_string(limit) + " bytes");
  }
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int error = errno;
      close(fd);
      bytes.clear();
      return fail(Reason(path, error));
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
    if (bytes.size() > limit) {  // it grew while being read
      close(fd);
      bytes.clear();
      return fail(path + " is larger than " + std::to_string(limit) + " bytes");
    }
  }
  close(fd);
  return TReadStatus::Read;
}

std::string ResolvePath(const std::string& path) {
  std::string at = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    // As the kernel's protection of shared folders does: a link that another
    // user planted (in /tmp, say) must not steer a save into another file.
    if (st.st_uid != geteuid() && st.st_uid != 0) break;
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    ssize_t n = readlink(at.c_str(), target.data(), target.size());
    if (n < 0) break;
    target.resize(static_cast<std::size_t>(n));
    at = !target.empty() && target[0] == '/' ? target : Dirname(at) + "/" + target;
  }
  return at;
}

bool IsSpecialFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

bool WriteSpecialFile(const std::string& path, const std::string& bytes, std::string* problem) {
  auto fail = [&](std::string why) {
    if (problem) *problem = std::move(why);
    return false;
  };
  // O_NONBLOCK: opening a pipe that nobody reads fails (ENXIO) instead of
  // waiting for a reader that never comes.
  int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0)
    return fail(errno == ENXIO ? path + " is a pipe that nobody reads" : Reason(path, errno));
  struct stat st {};
  bool ours = fstat(fd, &st) == 0 &&
              (S_ISCHR(st.st_mode) ||
               ((S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) && st.st_uid == geteuid()));
  if (!ours) {
    close(fd);
    return fail(path +
                " is neither a regular file nor a device or pipe of yours; nothing was "
                "written to it");
  }
  int flags = fcntl(fd, F_GETFL);
  bool ok = flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 && WriteAll(fd, bytes);
  int error = errno;
  ok = close(fd) == 0 && ok;
  if (!ok) return fail(Reason("cannot write " + path, error ? error : errno));
  return true;
}

bool ReplaceWholeFile(const std::string& path, const std::string& bytes, TNewFileMode mode,
                      std::string* problem) {
  auto fail = [&](std::string why) {
    if (problem) *problem = std::move(why);
    return false;
  };
  struct stat old {};
  bool exists = lstat(path.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode))
    return fail(path + " is not a regular file; it is left as it is");
  if (!exists && errno != ENOENT) return fail(Reason(path, errno));
  struct stat folder {};
  if (stat(Dirname(path).c_str(), &folder) != 0) return fail(Reason(Dirname(path), errno));
  // Another user's file is kept theirs only in their own folder: in a folder
  // others can write, it may have been planted to catch what is saved.
  if (exists && old.st_uid != geteuid() && old.st_uid != folder.st_uid)
    return fail(path +
                " belongs to another user, in a folder that user does not own; it is "
                "not written");

  std::string temp = Dirname(path) + "/" + TempPrefix(path) + "XXXXXX";
  // mkstemp creates the file exclusively, owner-only, and never through a link.
  int fd = Step(TFileStep::CreateTemp, path) ? mkostemp(temp.data(), O_CLOEXEC) : -1;
  if (fd < 0) return fail(Reason("cannot create a file beside " + path, errno));
  bool ok = true;
  std::string why;
  // The owner: of the file replaced (a store of another user saved by root
  // stays theirs), or for a new file that root makes in a user's folder, the
  // folder's owner. Only the owner's own group may fail to carry over.
  uid_t owner = geteuid();
  gid_t group = static_cast<gid_t>(-1);
  if (exists && mode == TNewFileMode::KeepExisting) {
    owner = old.st_uid;
    group = old.st_gid;
  } else if (!exists && geteuid() == 0) {
    owner = folder.st_uid;
    group = folder.st_gid;
  }
  if (owner != geteuid() && fchown(fd, owner, group) != 0 &&
      fchown(fd, owner, static_cast<gid_t>(-1)) != 0) {
    ok = false;
    why = Reason("cannot keep the owner of " + path, errno);
  }
  // Passwords are never for the group or others: the owner's bits of the
  // file replaced are kept, the rest cleared.
  mode_t bits = exists && mode == TNewFileMode::KeepExisting ? (old.st_mode & 0600) : 0600;
  if (ok && fchmod(fd, bits) != 0) {
    ok = false;
    why = Reason("cannot set the mode of " + path, errno);
  }
  if (ok && !(Step(TFileStep::Write, path) && WriteAll(fd, bytes))) {
    ok = false;
    why = Reason("cannot write beside " + path, errno);
  }
  if (ok && !(Step(TFileStep::Sync, path) && fsync(fd) == 0)) {
    ok = false;
    why = Reason("cannot flush the new " + path + " to disk", errno);
  }
  if (close(fd) != 0 && ok) {
    ok = false;
    why = Reason("cannot write beside " + path, errno);
  }
  if (ok && !(Step(TFileStep::Rename, path) && rename(temp.c_str(), path.c_str()) == 0)) {
    ok = false;
    why = Reason("cannot put the new " + path + " in place", errno);
  }
  if (!ok) {
    unlink(temp.c_str());
    return fail(why);
  }
  // Flush the folder too, so the rename itself survives a crash.
  int dirFd = open(Dirname(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    if (Step(TFileStep::SyncFolder, path)) fsync(dirFd);
    close(dirFd);
  }
  return true;
}

void RemoveStaleTemporaries(const std::string& path) {
  DIR* dir = opendir(Dirname(path).c_str());
  if (!dir) return;
  const std::string prefix = TempPrefix(path);
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0)
      unlinkat(dirfd(dir), name.c_str(), 0);
  }
  closedir(dir);
}

TFileLock::TFileLock(const std::string& path, bool exclusive, bool mayCreate,
                     std::chrono::milliseconds wait) {
  // Never through a link, and never hanging on a pipe planted at the path.
  int flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
  int fd = open(path.c_str(), O_RDWR | (mayCreate ? O_CREAT : 0) | flags, 0600);
  if (fd < 0 && (errno == EACCES || errno == EROFS)) fd = open(path.c_str(), O_RDONLY | flags);
  if (fd < 0) {
    Why = Reason("cannot open the lock file " + path, errno);
    return;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    Why = "the lock file " + path + " is not a regular file";
    return;
  }
  // A lock file that root makes in a user's folder is the user's, or the
  // user could never lock (and so never save) their own store again.
  struct stat folder {};
  if (st.st_uid == 0 && geteuid() == 0 && stat(Dirname(path).c_str(), &folder) == 0 &&
      folder.st_uid != 0)
    (void)!fchown(fd, folder.st_uid, folder.st_gid);
  int error = 0;
  TLockTry result = TryLockFor(wait, [&] {
    if (flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) return TLockTry::Taken;
    error = errno;
    return error == EWOULDBLOCK || error == EINTR ? TLockTry::Held : TLockTry::Failed;
  });
  if (result != TLockTry::Taken) {
    close(fd);
    if (result == TLockTry::Held) State = TLockStatus::Busy;
    Why = result == TLockTry::Held ? HeldBy(path) : Reason("cannot lock " + path, error);
    return;
  }
  Handle = reinterpret_cast<void*>(static_cast<intptr_t>(fd) + 1);
  State = TLockStatus::Locked;
}

TFileLock::~TFileLock() {
  if (Handle) close(static_cast<int>(reinterpret_cast<intptr_t>(Handle) - 1));  // drops the lock
}

}  // namespace korvel::fileio

namespace korvel::fileio {

std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

std::string UserConfigFolder() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return xdg;
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    const passwd* pw = getpwuid(getuid());
    home = pw ? pw->pw_dir : nullptr;
  }
  if (!home || !*home) return {};
  return std::string(home) + "/.config";
}

}  // namespace korvel::fileio
