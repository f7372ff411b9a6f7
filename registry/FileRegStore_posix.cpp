#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "RegStores.h"

namespace korvel {
namespace {

std::string Dirname(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Creates the folder and any missing folders above it, owner-only.
bool EnsureDir(const std::string& dir) {
  struct stat st {};
  if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  std::string parent = Dirname(dir);
  if (parent != dir && !EnsureDir(parent)) return false;
  return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
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

// Reads a whole file; false when it does not exist or cannot be read.
bool ReadFile(const std::string& path, std::string& bytes) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bytes.clear();
  char buffer[65536];
  bool ok = true;
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return ok;
}

// Replaces `path` by a file holding `bytes`: a temporary file beside it is
// written and flushed, then renamed over it, and the folder is flushed so the
// rename itself survives a crash.
bool ReplaceFile(const std::string& path, const std::string& bytes) {
  std::string temp = path + ".tmp";
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = fchmod(fd, 0600) == 0 && WriteAll(fd, bytes) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  int dirFd = open(Dirname(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    fsync(dirFd);
    close(dirFd);
  }
  return true;
}

class TFileSession final : public TRegSession {
 public:
  TFileSession(std::string path, TRegAccess access, int lockFd)
      : Path(std::move(path)), Access(access), LockFd(lockFd) {
    if (!ReadFile(Path, Original)) return;  // no store yet: empty tree
    Loaded = true;
    TRegParseResult parsed = ParseRegFile(Original);
    Root = parsed.Root;
    Damaged = !parsed.Errors.empty();
    if (Damaged) {
      const TRegParseError& first = parsed.Errors.front();
      std::fprintf(stderr,
                   "korvel: %s, line %d: %s (%zu unreadable line(s) skipped; the "
                   "file is kept as %s.bad when the store is next saved)\n",
                   Path.c_str(), first.Line, first.Message.c_str(),
                   parsed.Errors.size(), Path.c_str());
    }
  }

  ~TFileSession() override {
    if (LockFd >= 0) close(LockFd);  // closing the descriptor drops the lock
  }

  TRegKey& LocalMachine() override {
    if (!Machine) Machine = MakeTreeKey(Root)->Create("HKEY_LOCAL_MACHINE");
    return *Machine;
  }

  bool Commit() override {
    if (Access != TRegAccess::Write) return false;
    if (Loaded && Damaged && !ReplaceFile(Path + ".bad", Original)) return false;
    std::string text = WriteRegFile(*Root);
    if (!ReplaceFile(Path, text)) return false;
    Original = std::move(text);
    Damaged = false;
    return true;
  }

 private:
  std::string Path;
  TRegAccess Access;
  int LockFd;
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
    std::string lockPath = Path + ".lock";
    int fd = -1;
    if (access == TRegAccess::Write) {
      if (!EnsureDir(Dirname(Path))) return nullptr;
      fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
      if (fd < 0) return nullptr;
    } else {
      // A reader that may not create the lock file (read-only folder, or no
      // store yet) reads without it: nobody can be writing there either.
      fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
      if (fd < 0) fd = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd >= 0) {
      int op = access == TRegAccess::Write ? LOCK_EX : LOCK_SH;
      while (flock(fd, op) != 0) {
        if (errno != EINTR) {
          close(fd);
          if (access == TRegAccess::Write) return nullptr;
          fd = -1;
          break;
        }
      }
    }
    return std::make_unique<TFileSession>(Path, access, fd);
  }

 private:
  std::string Path;
};

}  // namespace

std::unique_ptr<TRegStore> MakeFileRegStore(std::string path) {
  return std::make_unique<TFileRegStore>(std::move(path));
}

std::string DefaultFileStorePath() {
  if (const char* store = std::getenv("KORVEL_STORE"); store && *store) return store;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
    return std::string(xdg) + "/korvel/registry.reg";
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    const passwd* pw = getpwuid(getuid());
    home = pw ? pw->pw_dir : nullptr;
  }
  if (!home || !*home) return {};
  return std::string(home) + "/.config/korvel/registry.reg";
}

std::unique_ptr<TRegStore> MakeDefaultRegStore() {
  std::string path = DefaultFileStorePath();
  if (path.empty()) return nullptr;
  return MakeFileRegStore(path);
}

}  // namespace korvel
