#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "FileIO.h"
#include "RegStores.h"

namespace korvel::fileio {
namespace {

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

bool ReadWholeFile(const std::string& path, std::string& bytes) {
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

bool ReplaceWholeFile(const std::string& path, const std::string& bytes) {
  std::string temp = path + ".tmp";
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = fchmod(fd, 0600) == 0 && WriteAll(fd, bytes) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  // Flush the folder too, so the rename itself survives a crash.
  int dirFd = open(Dirname(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    fsync(dirFd);
    close(dirFd);
  }
  return true;
}

TFileLock::TFileLock(const std::string& path, bool exclusive, bool mayCreate) {
  int fd = open(path.c_str(), O_RDWR | (mayCreate ? O_CREAT : 0) | O_CLOEXEC, 0600);
  if (fd < 0) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  while (flock(fd, exclusive ? LOCK_EX : LOCK_SH) != 0) {
    if (errno != EINTR) {
      close(fd);
      return;
    }
  }
  Handle = reinterpret_cast<void*>(static_cast<intptr_t>(fd) + 1);
}

TFileLock::~TFileLock() {
  if (Handle) close(static_cast<int>(reinterpret_cast<intptr_t>(Handle) - 1));  // drops the lock
}

}  // namespace korvel::fileio

namespace korvel {

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
