// The file primitives under Windows: what a read tells apart, what a
// replacement refuses or leaves behind, and the lock's bounded wait.
#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "FileIO.h"
#include "FileIOWin32.h"
#include "FileStore.h"
#include "TestStores.h"

namespace korvel {
namespace {

using namespace std::chrono_literals;
using namespace fileio;

TEST(WindowsFileIO, ReadsTellAMissingFileFromAnUnreadableOne) {
  const std::string dir = test::MakeTempDir();
  test::WriteFileBytes(dir + "\\file", "a\r\nb\x1a");
  struct Case {
    std::string Path;
    TReadStatus Status;
    const char* Why;  // a part of the reason given
  } cases[] = {
      {dir + "\\file", TReadStatus::Read, ""},
      {dir + "\\none", TReadStatus::Missing, ""},
      {dir + "\\no folder\\none", TReadStatus::Missing, ""},
      {dir, TReadStatus::Unreadable, "is a folder"},
  };
  for (const Case& c : cases) {
    std::string bytes = "left over", why;
    EXPECT_EQ(ReadWholeFile(c.Path, bytes, &why), c.Status) << c.Path;
    EXPECT_EQ(bytes, c.Status == TReadStatus::Read ? "a\r\nb\x1a" : "") << c.Path;
    EXPECT_NE(why.find(c.Why), std::string::npos) << c.Path << ": " << why;
  }
}

TEST(WindowsFileIO, AReplacementIsWholeOrNothingAndLeavesNoTemporaryBehind) {
  const std::string dir = test::MakeTempDir();
  const std::string path = dir + "\\store.reg";
  auto temporaries = [&] {
    int count = 0;
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((dir + "\\.store.reg.tmp-*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do ++count;
    while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
  };
  std::string why;
  ASSERT_TRUE(ReplaceWholeFile(path, "first", TNewFileMode::OwnerOnly, &why)) << why;
  ASSERT_TRUE(ReplaceWholeFile(path, "second", TNewFileMode::KeepExisting, &why)) << why;
  EXPECT_EQ(test::ReadFileBytes(path), "second");
  // Each step that fails leaves the old file and no temporary.
  for (TFileStep failing :
       {TFileStep::CreateTemp, TFileStep::Write, TFileStep::Sync, TFileStep::Rename}) {
    SetFileStepHook([&](TFileStep step, const std::string&) { return step != failing; });
    why.clear();
    EXPECT_FALSE(ReplaceWholeFile(path, "third", TNewFileMode::KeepExisting, &why));
    EXPECT_NE(why.find(path), std::string::npos) << why;
    EXPECT_EQ(test::ReadFileBytes(path), "second");
    EXPECT_EQ(temporaries(), 0) << int(failing);
  }
  SetFileStepHook({});
  // A folder at the path is never replaced.
  const std::string folder = dir + "\\folder";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  EXPECT_FALSE(ReplaceWholeFile(folder, "x", TNewFileMode::KeepExisting, &why));
  EXPECT_NE(why.find("not a regular file"), std::string::npos) << why;
  EXPECT_NE(GetFileAttributesA(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  // What a killed save left behind goes; names that only look alike stay.
  test::WriteFileBytes(dir + "\\.store.reg.tmp-abc123", "stale");
  test::WriteFileBytes(dir + "\\.store.reg.tmp-abc", "other");
  RemoveStaleTemporaries(path);
  EXPECT_FALSE(test::FileExists(dir + "\\.store.reg.tmp-abc123"));
  EXPECT_TRUE(test::FileExists(dir + "\\.store.reg.tmp-abc"));
  EXPECT_EQ(test::ReadFileBytes(path), "second");
}

// A scanner holds the old file for 100 ms without FILE_SHARE_DELETE: the
// rename over it waits. Whatever the folder hands down, the new file's DACL
// gives the user alone all access.
TEST(WindowsFileIO, AReplacementWaitsForAScannerAndIsTheUsersAlone) {
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  char user[256];
  DWORD size = sizeof user;
  char* sid = nullptr;
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, size, &size));
  ASSERT_TRUE(ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid));
  const std::string owner = std::string("(A;;FA;;;") + sid + ")";
  LocalFree(sid);
  CloseHandle(token);
  // Wine keeps no DACL of a file's own: it shows one made from the Unix mode
  // the descriptor became, SYSTEM and the owner always, Everyone when others
  // may read.
  const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version");

  const std::string path = test::MakeTempDir() + "\\store.reg";
  for (TNewFileMode mode : {TNewFileMode::OwnerOnly, TNewFileMode::KeepExisting}) {
    test::WriteFileBytes(path, "old");
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::thread scanner([held] {
      Sleep(100);
      CloseHandle(held);
    });
    std::string why;
    bool replaced = ReplaceWholeFile(path, "new", mode, &why);
    scanner.join();
    ASSERT_TRUE(replaced) << why;
    EXPECT_EQ(test::ReadFileBytes(path), "new");

    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, nullptr, nullptr, &descriptor),
              DWORD{ERROR_SUCCESS});
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    char* text = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorA(
        descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr));
    const std::string dacl = text;
    LocalFree(text);
    LocalFree(descriptor);
    EXPECT_EQ(dacl.substr(std::min(dacl.find('('), dacl.size())),
              wine ? "(A;;FA;;;SY)" + owner : owner);
    EXPECT_TRUE(wine || (control & SE_DACL_PROTECTED)) << dacl;
  }
}

TEST(WindowsFileIO, LocksShareReadersAndWaitForAWriterABoundedTime) {
  const std::string lock = test::MakeTempDir() + "\\store.reg.lock";
  {
    TFileLock reader(lock, false, true, 0ms), other(lock, false, true, 0ms);
    EXPECT_TRUE(reader.Locked());
    EXPECT_TRUE(other.Locked());
  }
  TFileLock writer(lock, true, true, 0ms);
  ASSERT_TRUE(writer.Locked()) << writer.Problem();
  for (bool exclusive : {false, true}) {
    auto start = std::chrono::steady_clock::now();
    TFileLock waiting(lock, exclusive, true, 200ms);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(waiting.Status(), TLockStatus::Busy);
    EXPECT_GE(waited, 180ms);
    EXPECT_LT(waited, 2000ms);
  }
  TFileLock missing(lock + ".none", true, false, 0ms);
  EXPECT_EQ(missing.Status(), TLockStatus::Unusable);
}

// The file store on a path where a folder stands: reads show an empty,
// unreadable store, writes are refused, and the folder stays.
TEST(WindowsFileIO, TheFileStoreNeverWritesOverWhatItCannotRead) {
  const std::string path = test::MakeTempDir() + "\\store.reg";
  ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
  TFileStore store(path);
  TStoredPasswords stored;
  std::string problem;
  EXPECT_FALSE(store.Load(stored, problem));
  EXPECT_EQ(store.Save(stored, nullptr, problem), kStoreNotWritable);
  EXPECT_NE(problem.find("folder"), std::string::npos) << problem;
}

// A store or lock file that OneDrive has synced is a cloud placeholder, a
// reparse point that is still a file; links and junctions are refused.
// (Wine makes no placeholders; the tags are those Windows gives.)
TEST(WindowsFileIO, OnlyLinksAmongReparsePointsAreRefused) {
  const struct {
    DWORD Attributes, Tag;
    bool LinkLike;
  } cases[] = {
      {FILE_ATTRIBUTE_NORMAL, 0, false},
      {FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_SYMLINK, true},
      {FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_MOUNT_POINT, true},  // a junction
      {FILE_ATTRIBUTE_REPARSE_POINT, 0x9000001A, false},  // IO_REPARSE_TAG_CLOUD
      {FILE_ATTRIBUTE_REPARSE_POINT, 0x9000301A, false},  // IO_REPARSE_TAG_CLOUD_3 (OneDrive)
      {FILE_ATTRIBUTE_REPARSE_POINT, 0x80000013, false},  // IO_REPARSE_TAG_DEDUP
      {FILE_ATTRIBUTE_ARCHIVE, IO_REPARSE_TAG_SYMLINK, false},  // no reparse point at all
  };
  for (const auto& c : cases) EXPECT_EQ(IsLinkLike(c.Attributes, c.Tag), c.LinkLike) << c.Tag;
}

// On a share the new file keeps its folder's rights: a workgroup server
// knows nothing of this computer's accounts.
TEST(WindowsFileIO, FilesOnSharesKeepTheirFoldersRights) {
  const struct {
    const char* Path;
    bool Keeps;
  } cases[] = {
      {"\\\\server\\share\\store.reg", true},
      {"//server/share/store.reg", true},
      {"\\\\?\\UNC\\server\\share\\store.reg", true},
      {"\\\\?\\C:\\store.reg", false},
      {"C:\\store.reg", false},
  };
  for (const auto& c : cases) EXPECT_EQ(KeepsFolderRights(c.Path), c.Keeps) << c.Path;
  EXPECT_FALSE(KeepsFolderRights(test::MakeTempDir() + "\\store.reg"));
}

}  // namespace
}  // namespace korvel
