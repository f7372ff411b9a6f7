#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "FileIO.h"
#include "RegStores.h"

namespace korvel::fileio {

std::string Dirname(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return ".";
  if (slash == 0 || (slash == 2 && path[1] == ':')) return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

bool EnsureDir(const std::string& dir) {
  DWORD attributes = GetFileAttributesA(dir.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  std::string parent = Dirname(dir);
  if (parent != dir && !EnsureDir(parent)) return false;
  return CreateDirectoryA(dir.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream out;
  out << in.rdbuf();
  bytes = out.str();
  return true;
}

bool ReplaceWholeFile(const std::string& path, const std::string& bytes) {
  std::string temp = path + ".tmp";
  HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size() && FlushFileBuffers(file);
  ok = CloseHandle(file) && ok;
  if (!ok || !MoveFileExA(temp.c_str(), path.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileA(temp.c_str());
    return false;
  }
  return true;
}

TFileLock::TFileLock(const std::string& path, bool exclusive, bool mayCreate) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            mayCreate ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  OVERLAPPED at{};
  if (!LockFileEx(file, exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, 1, 0, &at)) {
    CloseHandle(file);
    return;
  }
  Handle = file;
}

TFileLock::~TFileLock() {
  if (Handle) CloseHandle(static_cast<HANDLE>(Handle));  // closing releases the lock
}

}  // namespace korvel::fileio

namespace korvel {

std::string DefaultFileStorePath() {
  if (const char* store = std::getenv("KORVEL_STORE"); store && *store) return store;
  if (const char* appdata = std::getenv("APPDATA"); appdata && *appdata)
    return std::string(appdata) + "\\korvel\\registry.reg";
  return {};
}

}  // namespace korvel
