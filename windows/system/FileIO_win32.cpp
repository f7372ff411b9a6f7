#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cwchar>
#include <cstdlib>

#include "CodePage.h"
#include "FileIO.h"
#include "FileIOWin32.h"

namespace korvel::fileio {
namespace {

// False when a test's hook makes the step fail; the last error then says so.
bool Step(TFileStep step, const std::string& path) {
  if (StepAllowed(step, path)) return true;
  SetLastError(ERROR_WRITE_FAULT);
  return false;
}

std::string ErrorText(DWORD error) {
  char* text = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = n && text ? std::string(text, n) : "error " + std::to_string(error);
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.'))
    message.pop_back();
  return message;
}

std::string Reason(const std::string& what, DWORD error) { return what + ": " + ErrorText(error); }

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

std::string Basename(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Temporary files of PATH are ".NAME.tmp-XXXXXX" beside it, recognisable as
// stale ones after a crash.
std::string TempPrefix(const std::string& path) {
  std::string prefix = ".";
  prefix += Basename(path);
  prefix += ".tmp-";
  return prefix;
}

// Six characters that differ between processes and between calls.
std::string UniqueSuffix() {
  static std::atomic<uint32_t> serial{0};
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  uint64_t x = (static_cast<uint64_t>(GetCurrentProcessId()) << 32) ^
               static_cast<uint64_t>(now.QuadPart) ^ (static_cast<uint64_t>(serial++) << 20);
  // splitmix64's finaliser spreads every input bit over the result.
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ULL;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebULL;
  x ^= x >> 31;
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string suffix;
  for (int i = 0; i < 6; ++i, x /= 36) suffix.push_back(kDigits[x % 36]);
  return suffix;
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) return false;
    if (written == 0) {
      SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    done += written;
  }
  return true;
}

// A security descriptor whose protected DACL grants the current user (the
// process token's) all access and nobody else any: no ACE is inherited from
// the folder, so a store or an export in a folder that others may read stays
// the user's alone, as with mode 0600 elsewhere.
class TOwnerOnly {
 public:
  TOwnerOnly() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::string buffer(size, '\0');
    char* sid = nullptr;
    if (size && GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
        ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
      const std::string sddl = std::string("D:P(A;;FA;;;") + sid + ")";
      ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                           &Descriptor, nullptr);
    }
    DWORD error = GetLastError();
    if (sid) LocalFree(sid);
    CloseHandle(token);
    SetLastError(error);
  }
  ~TOwnerOnly() {
    if (Descriptor) LocalFree(Descriptor);
  }
  TOwnerOnly(const TOwnerOnly&) = delete;
  TOwnerOnly& operator=(const TOwnerOnly&) = delete;
  // Null when the descriptor could not be made (the last error says why).
  SECURITY_ATTRIBUTES* Attributes() {
    Sa = {sizeof Sa, Descriptor, FALSE};
    return Descriptor ? &Sa : nullptr;
  }

 private:
  PSECURITY_DESCRIPTOR Descriptor = nullptr;
  SECURITY_ATTRIBUTES Sa{};
};

// Antivirus scanners and the search indexer open a file that was just written
// for a moment, often without FILE_SHARE_DELETE; a rename over it fails with a
// sharing violation or "access denied" until they let go. Tried again every
// 20 ms for about a second; then the error stands.
bool RenameOver(const std::string& from, const std::string& to) {
  for (int waited = 0;; waited += 20) {
    // MOVEFILE_WRITE_THROUGH returns once the rename itself is on disk.
    if (MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return true;
    DWORD error = GetLastError();
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) || waited >= 1000)
      return false;
    Sleep(20);
  }
}

}  // namespace

bool IsLinkLike(DWORD attributes, DWORD reparseTag) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(reparseTag);
}

bool KeepsFolderRights(const std::string& path) {
  const std::wstring wide = WidePath(path);
  auto slash = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  if (wide.size() >= 2 && slash(wide[0]) && slash(wide[1])) {
    // \\?\C:\... and \\.\ name local things; \\?\UNC\server\share and
    // \\server\share are shares.
    if (wide.size() >= 4 && (wide[2] == L'?' || wide[2] == L'.') && slash(wide[3]))
      return _wcsnicmp(wide.c_str() + 4, L"UNC", 3) == 0 && wide.size() > 7 && slash(wide[7]);
    return true;
  }
  wchar_t volume[MAX_PATH + 1] = {};
  if (!GetVolumePathNameW(wide.c_str(), volume, MAX_PATH)) return false;
  return GetDriveTypeW(volume) == DRIVE_REMOTE;
}

std::string Dirname(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return ".";
  if (slash == 0 || (slash == 2 && path[1] == ':')) return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

bool EnsureDir(const std::string& dir) {
  DWORD attributes = GetFileAttributesW(WidePath(dir).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  std::string parent = Dirname(dir);
  if (parent != dir && !EnsureDir(parent)) return false;
  return CreateDirectoryW(WidePath(dir).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

TReadStatus ReadWholeFile(const std::string& path, std::string& bytes, std::string* problem,
                          std::size_t limit) {
  bytes.clear();
  auto fail = [&](std::string why) {
    if (problem) *problem = std::move(why);
    return TReadStatus::Unreadable;
  };
  // A folder cannot be opened as a file (CreateFile says "access denied"):
  // tell it by its attributes first.
  DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    if (IsMissing(error)) return TReadStatus::Missing;
    return fail(Reason(path, error));
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return fail(path + " is a folder, not a file");
  HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    if (IsMissing(error)) return TReadStatus::Missing;  // removed in between
    return fail(Reason(path, error));
  }
  if (GetFileType(file) != FILE_TYPE_DISK) {  // a device or a pipe
    CloseHandle(file);
    return fail(path + " is not a regular file");
  }
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
      DWORD error = GetLastError();
      CloseHandle(file);
      bytes.clear();
      return fail(Reason(path, error));
    }
    if (got == 0) break;
    bytes.append(buffer, got);
    if (bytes.size() > limit) {
      CloseHandle(file);
      bytes.clear();
      return fail(path + " is larger than " + std::to_string(limit) + " bytes");
    }
  }
  CloseHandle(file);
  return TReadStatus::Read;
}

// The store never follows links itself on Windows: replacing the path
// replaces what stands there.
std::string ResolvePath(const std::string& path) { return path; }

bool IsSpecialFile(const std::string& path) {
  // Backup semantics open folders too; the open follows links.
  HANDLE file = CreateFileW(WidePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  bool special = GetFileType(file) != FILE_TYPE_DISK ||
                 (GetFileInformationByHandle(file, &info) &&
                  (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
  CloseHandle(file);
  return special;
}

bool WriteSpecialFile(const std::string& path, const std::string& bytes, std::string* problem) {
  HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    if (problem) *problem = Reason(path, GetLastError());
    return false;
  }
  bool ok = WriteAll(file, bytes);
  DWORD error = GetLastError();
  ok = CloseHandle(file) && ok;
  if (!ok && problem) *problem = Reason("cannot write " + path, error);
  return ok;
}

// On Windows the new file is always the current user's alone (TOwnerOnly):
// `mode` has no owner or mode bits to carry over here.
bool ReplaceWholeFile(const std::string& path, const std::string& bytes, TNewFileMode,
                      std::string* problem) {
  auto fail = [&](std::string why) {
    if (problem) *problem = std::move(why);
    return false;
  };
  DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))
      return fail(path + " is not a regular file; it is left as it is");
  } else if (!IsMissing(GetLastError())) {
    return fail(Reason(path, GetLastError()));
  }

  // CREATE_NEW makes the file exclusively and fails on anything already
  // there, a link among them: a name taken by someone else is tried again.
  const std::string base = Join(Dirname(path), TempPrefix(path));
  std::string temp;
  HANDLE file = INVALID_HANDLE_VALUE;
  // A file server of a workgroup knows nothing of this computer's accounts:
  // there the new file keeps the rights it inherits from its folder.
  const bool inherit = KeepsFolderRights(path);
  TOwnerOnly ownerOnly;
  if (!inherit && !ownerOnly.Attributes())
    return fail(Reason("cannot make the owner-only permissions of a new " + path, GetLastError()));
  if (Step(TFileStep::CreateTemp, path)) {
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
      temp = base + UniqueSuffix();
      file = CreateFileW(WidePath(temp).c_str(), GENERIC_WRITE, 0,
                         inherit ? nullptr : ownerOnly.Attributes(), CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS &&
          GetLastError() != ERROR_ALREADY_EXISTS)
        break;
    }
  }
  if (file == INVALID_HANDLE_VALUE)
    return fail(Reason("cannot create a file beside " + path, GetLastError()));
  bool ok = true;
  std::string why;
  if (!(Step(TFileStep::Write, path) && WriteAll(file, bytes))) {
    ok = false;
    why = Reason("cannot write beside " + path, GetLastError());
  }
  if (ok && !(Step(TFileStep::Sync, path) && FlushFileBuffers(file))) {
    ok = false;
    why = Reason("cannot flush the new " + path + " to disk", GetLastError());
  }
  if (!CloseHandle(file) && ok) {
    ok = false;
    why = Reason("cannot write beside " + path, GetLastError());
  }
  if (ok && !(Step(TFileStep::Rename, path) && RenameOver(temp, path))) {
    ok = false;
    why = Reason("cannot put the new " + path + " in place", GetLastError());
  }
  if (!ok) {
    DeleteFileW(WidePath(temp).c_str());
    return fail(why);
  }
  // The folder needs no flush of its own here (the write-through rename did
  // it); the step is still reported so that hooks see the same steps everywhere.
  Step(TFileStep::SyncFolder, path);
  return true;
}

void RemoveStaleTemporaries(const std::string& path) {
  const std::wstring dir = WidePath(Dirname(path));
  const std::wstring prefix = WidePath(TempPrefix(path));
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW(WidePath(Join(Dirname(path), TempPrefix(path) + "*")).c_str(),
                                 &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    // The pattern also matches short (8.3) names: check the long one.
    const std::wstring name = found.cFileName;
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name.size() == prefix.size() + 6 &&
        CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, name.c_str(), int(prefix.size()),
                       prefix.c_str(), int(prefix.size())) == CSTR_EQUAL) {
      std::wstring file = dir;
      if (!file.empty() && file.back() != L'\\' && file.back() != L'/' && file.back() != L':')
        file += L'\\';
      DeleteFileW((file + name).c_str());
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

TFileLock::TFileLock(const std::string& path, bool exclusive, bool mayCreate,
                     std::chrono::milliseconds wait) {
  // FILE_FLAG_OPEN_REPARSE_POINT: a link planted at the path is opened as
  // itself (and refused below), never followed.
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                            mayCreate ? OPEN_ALWAYS : OPEN_EXISTING, flags, nullptr);
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
    file = CreateFileW(WidePath(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, flags, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Why = Reason("cannot open the lock file " + path, GetLastError());
    return;
  }
  FILE_ATTRIBUTE_TAG_INFO info{};
  if (GetFileType(file) != FILE_TYPE_DISK ||
      !GetFileInformationByHandleEx(file, FileAttributeTagInfo, &info, sizeof info) ||
      (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      IsLinkLike(info.FileAttributes, info.ReparseTag)) {
    CloseHandle(file);
    Why = "the lock file " + path + " is not a regular file";
    return;
  }
  const DWORD lockFlags =
      LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : DWORD{0});
  DWORD error = 0;
  TLockTry result = TryLockFor(wait, [&] {
    OVERLAPPED at{};
    if (LockFileEx(file, lockFlags, 0, 1, 0, &at)) return TLockTry::Taken;
    error = GetLastError();
    return error == ERROR_LOCK_VIOLATION ? TLockTry::Held : TLockTry::Failed;
  });
  if (result != TLockTry::Taken) {
    CloseHandle(file);
    if (result == TLockTry::Held) State = TLockStatus::Busy;
    Why = result == TLockTry::Held ? HeldBy(path) : Reason("cannot lock " + path, error);
    return;
  }
  Handle = file;
  State = TLockStatus::Locked;
}

TFileLock::~TFileLock() {
  if (!Handle) return;
  // Unlocked at once: a lock left to the close is released whenever the
  // system gets round to it.
  OVERLAPPED at{};
  UnlockFileEx(static_cast<HANDLE>(Handle), 0, 1, 0, &at);
  CloseHandle(static_cast<HANDLE>(Handle));
}

}  // namespace korvel::fileio

namespace korvel::fileio {

std::string Join(const std::string& dir, const std::string& name) {
  if (!dir.empty() && (dir.back() == '\\' || dir.back() == '/' || dir.back() == ':'))
    return dir + name;
  return dir + "\\" + name;
}

std::string UserConfigFolder() {
  if (const char* appdata = std::getenv("APPDATA"); appdata && *appdata) return appdata;
  return {};
}

}  // namespace korvel::fileio
