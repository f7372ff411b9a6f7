// The store backends: the same key semantics on each, and for the file store
// its permissions, its locking and its atomic replacement.
#include <gtest/gtest.h>

#include "FileIO.h"
#include "TestStores.h"

#ifndef _WIN32
#include <signal.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <random>
#endif

namespace korvel {
namespace {

using test::StoreKinds;
using test::TStoreKind;

class RegStore : public ::testing::TestWithParam<TStoreKind> {};

TEST_P(RegStore, KeysValuesAndTreesBehaveLikeTheRegistry) {
  auto store = GetParam().Make();
  {
    auto session = store->Begin(TRegAccess::Write);
    TRegKey& machine = session->LocalMachine();
    EXPECT_FALSE(machine.Open("SOFTWARE\\Calvek\\Test"));
    auto key = machine.Create("SOFTWARE\\Calvek\\Test\\Deep\\Down");
    ASSERT_TRUE(key);
    EXPECT_TRUE(SetText(*key, "Text", "hello"));
    EXPECT_TRUE(SetDword(*key, "Number", 0xDEADBEEF));
    EXPECT_TRUE(key->Create("x"));
    EXPECT_TRUE(key->Create("y"));
    ASSERT_TRUE(session->Commit());
  }
  {
    auto session = store->Begin(TRegAccess::Read);
    auto key = session->LocalMachine().Open("SOFTWARE\\Calvek\\Test\\Deep\\Down");
    ASSERT_TRUE(key);
    EXPECT_EQ(QueryText(*key, "text"), "hello");
    EXPECT_EQ(QueryDword(*key, "NUMBER"), 0xDEADBEEFu);
    auto raw = key->Query("Text");
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->Type, kRegSz);
    // Written without a terminating zero. Wine's RegQueryValueExA reports
    // such a text with one added, so the registry may show either.
    if (GetParam().Name == "registry" && raw->Data == std::string("hello\0", 6))
      raw->Data.pop_back();
    EXPECT_EQ(raw->Data, "hello");
    EXPECT_EQ(key->SubKeyCount(), 2u);
    EXPECT_EQ(key->SubKeyName(0), "x");
    EXPECT_EQ(key->SubKeyName(1), "y");
    EXPECT_FALSE(key->SubKeyName(2));
  }
  {
    auto session = store->Begin(TRegAccess::Write);
    TRegKey& machine = session->LocalMachine();
    EXPECT_TRUE(machine.DeleteTree("SOFTWARE\\Calvek\\Test\\Deep"));
    EXPECT_TRUE(machine.DeleteTree("SOFTWARE\\Calvek\\Test\\Deep"));  // already gone
    ASSERT_TRUE(session->Commit());
  }
  auto session = store->Begin(TRegAccess::Read);
  EXPECT_FALSE(session->LocalMachine().Open("SOFTWARE\\Calvek\\Test\\Deep"));
  EXPECT_TRUE(session->LocalMachine().Open("SOFTWARE\\Calvek\\Test"));
}

INSTANTIATE_TEST_SUITE_P(Backends, RegStore, ::testing::ValuesIn(StoreKinds()),
                         [](const auto& info) { return info.param.Name; });

#ifndef _WIN32

class FileStore : public ::testing::Test {
 protected:
  std::string Dir = test::MakeTempDir() + "/config/korvel";
  std::string Path = Dir + "/registry.reg";
  std::unique_ptr<TRegStore> Store = MakeFileRegStore(Path);

  void Write(const std::string& name, const std::string& value) {
    auto session = Store->Begin(TRegAccess::Write);
    ASSERT_TRUE(session);
    SetText(*session->LocalMachine().Create("SOFTWARE\\T"), name, value);
    ASSERT_TRUE(session->Commit());
  }
  void EnsureFolder() { ASSERT_TRUE(fileio::EnsureDir(Dir)); }
  std::optional<std::string> Read(const std::string& name) {
    auto session = Store->Begin(TRegAccess::Read);
    auto key = session->LocalMachine().Open("SOFTWARE\\T");
    return key ? QueryText(*key, name) : std::nullopt;
  }
};

TEST_F(FileStore, CreatesOwnerOnlyFolderAndFile) {
  Write("a", "1");
  struct stat st {};
  ASSERT_EQ(stat(Dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(stat(Path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(test::ReadFileBytes(Path),
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\r\n\"a\"=\"1\"\r\n\r\n");
}

TEST_F(FileStore, NothingIsWrittenWithoutCommit) {
  Write("a", "1");
  {
    auto session = Store->Begin(TRegAccess::Write);
    SetText(*session->LocalMachine().Create("SOFTWARE\\T"), "a", "2");
  }
  {
    auto session = Store->Begin(TRegAccess::Read);
    SetText(*session->LocalMachine().Create("SOFTWARE\\T"), "a", "3");
    EXPECT_FALSE(session->Commit());  // a read session cannot write
  }
  EXPECT_EQ(Read("a"), "1");
}

TEST_F(FileStore, ReadingAMissingStoreCreatesNothing) {
  EXPECT_FALSE(Read("a"));
  EXPECT_FALSE(test::FileExists(Path));
}

TEST_F(FileStore, ADamagedFileIsReadAsFarAsPossibleAndKeptBeforeItIsReplaced) {
  Write("a", "1");
  std::string damaged = test::ReadFileBytes(Path) + "this line is not registry\r\n";
  test::WriteFileBytes(Path, damaged);
  EXPECT_EQ(Read("a"), "1");
  EXPECT_FALSE(test::FileExists(Path + ".bad"));  // reading alone changes nothing
  Write("b", "2");
  EXPECT_EQ(test::ReadFileBytes(Path + ".bad"), damaged);
  EXPECT_EQ(Read("a"), "1");
  EXPECT_EQ(Read("b"), "2");
  // The store is clean again: a later save leaves the kept copy alone.
  test::WriteFileBytes(Path + ".bad", "kept");
  Write("c", "3");
  EXPECT_EQ(test::ReadFileBytes(Path + ".bad"), "kept");
}

TEST_F(FileStore, LoadModifySaveCyclesOfTwoProcessesTakeTurns) {
  Write("n", "0");
  auto increment = [&](int times) {
    for (int i = 0; i < times; ++i) {
      auto session = Store->Begin(TRegAccess::Write);
      auto key = session->LocalMachine().Create("SOFTWARE\\T");
      int n = std::stoi(QueryText(*key, "n").value_or("0"));
      SetText(*key, "n", std::to_string(n + 1));
      if (!session->Commit()) return false;
    }
    return true;
  };
  pid_t child = fork();
  if (child == 0) _exit(increment(100) ? 0 : 1);
  EXPECT_TRUE(increment(100));
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Read("n"), "200");
}

// A process killed at any moment of a save leaves the old store or the new
// one, whole; never a mixture, never a truncated file.
TEST_F(FileStore, KillingASaveAtAnyPointLeavesAWholeStore) {
  auto contents = [](int variant) {
    auto root = std::make_shared<TRegNode>();
    auto key = MakeTreeKey(root)->Create("HKEY_LOCAL_MACHINE\\SOFTWARE\\T");
    for (int i = 0; i < 400; ++i)
      SetText(*key->Create(std::to_string(i)), "v", std::string(100, variant ? 'b' : 'a'));
    return root;
  };
  const std::shared_ptr<TRegNode> variants[2] = {contents(0), contents(1)};
  auto save = [&](int variant) {
    auto session = Store->Begin(TRegAccess::Write);
    auto key = session->LocalMachine().Create("SOFTWARE\\T");
    for (int i = 0; i < 400; ++i)
      SetText(*key->Create(std::to_string(i)), "v", std::string(100, variant ? 'b' : 'a'));
    return session->Commit();
  };
  ASSERT_TRUE(save(0));
  std::mt19937 random(12345);
  int sawOld = 0, sawNew = 0;
  for (int round = 0; round < 60; ++round) {
    int done[2];
    ASSERT_EQ(pipe(done), 0);
    pid_t child = fork();
    if (child == 0) {
      close(done[0]);
      for (int i = 1;; ++i) {
        save(i % 2);
        if (write(done[1], "s", 1) != 1) _exit(1);  // one byte per finished save
      }
    }
    close(done[1]);
    // Kill it after 0 to 2 finished saves, somewhere inside the next one, so
    // that the outcome does not hang on how busy the machine is.
    char byte;
    for (int saves = round % 3; saves > 0; --saves) ASSERT_EQ(read(done[0], &byte, 1), 1);
    usleep(std::uniform_int_distribution<int>(0, 3000)(random));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(done[0]);
    TRegParseResult parsed = ParseRegFile(test::ReadFileBytes(Path));
    ASSERT_TRUE(parsed.Errors.empty()) << "round " << round;
    bool isOld = parsed.Root->SameAs(*variants[0]);
    bool isNew = parsed.Root->SameAs(*variants[1]);
    ASSERT_TRUE(isOld || isNew) << "round " << round;
    (isOld ? sawOld : sawNew)++;
  }
  // Both outcomes occurred, so the kills did land inside saves.
  EXPECT_GT(sawOld, 0);
  EXPECT_GT(sawNew, 0);
}

// What stands at the store path decides what a session may do: nothing yet
// and an empty file are empty stores; a folder or a pipe is a store that
// cannot be read, which is never written over (and a read never hangs on it).
TEST_F(FileStore, OnlyAMissingOrRegularFileIsReadAndWritten) {
  struct Case {
    const char* Name;
    std::function<void(const std::string&)> Make;
    bool Readable;
  } cases[] = {
      {"nothing", [](const std::string&) {}, true},
      {"empty file", [](const std::string& p) { test::WriteFileBytes(p, ""); }, true},
      {"folder", [](const std::string& p) { mkdir(p.c_str(), 0700); }, false},
      {"pipe", [](const std::string& p) { mkfifo(p.c_str(), 0600); }, false},
  };
  for (const Case& c : cases) {
    std::string dir = test::MakeTempDir(), path = dir + "/registry.reg";
    c.Make(path);
    auto store = MakeFileRegStore(path);
    auto reading = store->Begin(TRegAccess::Read);
    ASSERT_TRUE(reading) << c.Name;
    EXPECT_EQ(reading->Readable(), c.Readable) << c.Name;
    EXPECT_EQ(reading->Problem().empty(), c.Readable) << c.Name << ": " << reading->Problem();
    reading.reset();
    std::string problem;
    auto writing = store->Begin(TRegAccess::Write, problem);
    EXPECT_EQ(bool(writing), c.Readable) << c.Name;
    EXPECT_EQ(problem.find(path) != std::string::npos, !c.Readable) << c.Name << ": " << problem;
    if (writing) {
      SetText(*writing->LocalMachine().Create("SOFTWARE\\T"), "a", "1");
      EXPECT_TRUE(writing->Commit()) << c.Name;
      EXPECT_FALSE(test::FileExists(path + ".bad")) << c.Name;
    }
    struct stat st {};
    ASSERT_EQ(lstat(path.c_str(), &st), 0) << c.Name;
    EXPECT_EQ(S_ISREG(st.st_mode), c.Readable) << c.Name;  // a folder or pipe stays one
  }
}

// A linked store is written where it really is, and the link stays a link;
// the replaced file keeps its owner and its owner's permissions, never the
// group's or others'. Links and files that another user planted in a folder
// not theirs are never written through or into.
TEST_F(FileStore, SavesLandBesideTheRealFileWithItsOwnerAndMode) {
  Write("a", "1");
  std::string linkDir = test::MakeTempDir(), link = linkDir + "/linked.reg";
  ASSERT_EQ(symlink(Path.c_str(), link.c_str()), 0);
  ASSERT_EQ(chmod(Path.c_str(), 0644), 0);
  bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(Dir.c_str(), 4242, 4343), 0);  // the user's own folder
    ASSERT_EQ(chown(Path.c_str(), 4242, 4343), 0);
  }
  auto linked = MakeFileRegStore(link);
  auto save = [](TRegStore& store, const char* value) {
    auto session = store.Begin(TRegAccess::Write);
    if (!session) return false;
    SetText(*session->LocalMachine().Create("SOFTWARE\\T"), "a", value);
    return session->Commit();
  };
  ASSERT_TRUE(save(*linked, "2"));
  struct stat st {};
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(Read("a"), "2");
  ASSERT_EQ(stat(Path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  if (root) {
    EXPECT_EQ(st.st_uid, 4242u);
    EXPECT_EQ(st.st_gid, 4343u);
  }
  // Nothing else was left beside the link or the file.
  for (const std::string& dir : {linkDir, Dir}) {
    std::string names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
      names += entry.path().filename().string() + " ";
    EXPECT_EQ(names.find("tmp"), std::string::npos) << names;
  }
  if (!root) return;
  // Planted by user 4242 in a folder of root's: the link is not followed,
  // the file not written into.
  ASSERT_EQ(lchown(link.c_str(), 4242, 4343), 0);
  EXPECT_FALSE(save(*linked, "3"));
  std::string planted = linkDir + "/planted.reg";
  test::WriteFileBytes(planted, "REGEDIT4\r\n\r\n");
  ASSERT_EQ(chown(planted.c_str(), 4242, 4343), 0);
  EXPECT_FALSE(save(*MakeFileRegStore(planted), "3"));
  EXPECT_EQ(test::ReadFileBytes(planted), "REGEDIT4\r\n\r\n");
  EXPECT_EQ(Read("a"), "2");
}

// Links planted where the store makes its files (the old fixed temporary
// name, the lock) never make a save write into another file; temporary files
// a killed save left behind are removed by the next one.
TEST_F(FileStore, PlantedLinksAreNeverWrittenThroughAndStaleTemporariesGo) {
  Write("a", "1");
  std::string victim = test::MakeTempDir() + "/victim";
  test::WriteFileBytes(victim, "precious");
  ASSERT_EQ(symlink(victim.c_str(), (Path + ".tmp").c_str()), 0);
  std::string stale = Dir + "/.registry.reg.tmp-Ab12Cd";
  test::WriteFileBytes(stale, "half a save");
  Write("a", "2");
  EXPECT_EQ(Read("a"), "2");
  EXPECT_FALSE(test::FileExists(stale));
  EXPECT_EQ(test::ReadFileBytes(victim), "precious");

  ASSERT_EQ(unlink((Path + ".lock").c_str()), 0);
  ASSERT_EQ(symlink(victim.c_str(), (Path + ".lock").c_str()), 0);
  std::string problem;
  EXPECT_FALSE(Store->Begin(TRegAccess::Write, problem));
  EXPECT_NE(problem.find(".lock"), std::string::npos) << problem;
  EXPECT_EQ(Read("a"), "2");  // a reader goes on without the lock
  EXPECT_EQ(test::ReadFileBytes(victim), "precious");
}

// A file that is no store at all (the path pointed at another file) is left
// alone; a lock file that root makes in a user's folder is the user's.
TEST_F(FileStore, AnotherFileAtTheStorePathIsNeverReplaced) {
  EnsureFolder();
  test::WriteFileBytes(Path, "my notes\n");
  std::string problem;
  EXPECT_FALSE(Store->Begin(TRegAccess::Write, problem));
  EXPECT_NE(problem.find("not a store file"), std::string::npos) << problem;
  EXPECT_EQ(test::ReadFileBytes(Path), "my notes\n");
  if (geteuid() != 0) return;
  ASSERT_EQ(unlink(Path.c_str()), 0);
  ASSERT_EQ(unlink((Path + ".lock").c_str()), 0);
  ASSERT_EQ(chown(Dir.c_str(), 4242, 4343), 0);
  Write("a", "1");
  struct stat st {};
  for (const std::string& file : {Path, Path + ".lock"}) {
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4242u) << file;
  }
}

// A save flushes the new file to disk before it renames it over the store,
// and a step that fails leaves the store as it was and nothing beside it.
TEST_F(FileStore, ReplacementFlushesBeforeItRenamesAndFailsWhole) {
  using fileio::TFileStep;
  Write("a", "1");
  std::vector<TFileStep> steps;
  fileio::SetFileStepHook([&](TFileStep step, const std::string&) {
    steps.push_back(step);
    return true;
  });
  Write("a", "2");
  EXPECT_EQ(steps, (std::vector<TFileStep>{TFileStep::CreateTemp, TFileStep::Write, TFileStep::Sync,
                                           TFileStep::Rename, TFileStep::SyncFolder}));
  for (TFileStep failing : {TFileStep::CreateTemp, TFileStep::Write, TFileStep::Sync, TFileStep::Rename}) {
    fileio::SetFileStepHook([&](TFileStep step, const std::string&) { return step != failing; });
    std::string before = test::ReadFileBytes(Path);
    auto session = Store->Begin(TRegAccess::Write);
    SetText(*session->LocalMachine().Create("SOFTWARE\\T"), "a", "3");
    EXPECT_FALSE(session->Commit());
    EXPECT_NE(session->Problem(), "");
    EXPECT_EQ(test::ReadFileBytes(Path), before);
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(Dir)) (void)entry, ++files;
    EXPECT_EQ(files, 2u) << "store and lock only";
  }
  fileio::SetFileStepHook(nullptr);
}

// A writer never goes on without the lock; a reader that waited long enough
// reads without it (the file is always whole) and the library stays silent.
TEST_F(FileStore, ABusyLockIsWaitedForBoundedly) {
  Write("a", "1");
  int holder = open((Path + ".lock").c_str(), O_RDWR);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  auto quick = MakeFileRegStore(Path, std::chrono::milliseconds(100));
  std::string problem;
  EXPECT_FALSE(quick->Begin(TRegAccess::Write, problem));
  EXPECT_NE(problem.find("another program"), std::string::npos) << problem;
  auto session = quick->Begin(TRegAccess::Read);
  ASSERT_TRUE(session);
  EXPECT_EQ(QueryText(*session->LocalMachine().Open("SOFTWARE\\T"), "a"), "1");
  close(holder);
}

TEST(FileStorePath, FollowsKorvelStoreThenXdgThenHome) {
  auto restore = [](const char* name) {
    const char* v = std::getenv(name);
    return std::make_pair(std::string(name), v ? std::optional<std::string>(v) : std::nullopt);
  };
  auto saved = {restore("KORVEL_STORE"), restore("XDG_CONFIG_HOME"), restore("HOME")};
  setenv("KORVEL_STORE", "/x/store.reg", 1);
  setenv("XDG_CONFIG_HOME", "/xdg", 1);
  setenv("HOME", "/home/op", 1);
  EXPECT_EQ(DefaultFileStorePath(), "/x/store.reg");
  unsetenv("KORVEL_STORE");
  EXPECT_EQ(DefaultFileStorePath(), "/xdg/korvel/registry.reg");
  setenv("XDG_CONFIG_HOME", "", 1);
  EXPECT_EQ(DefaultFileStorePath(), "/home/op/.config/korvel/registry.reg");
  for (const auto& [name, value] : saved) {
    if (value)
      setenv(name.c_str(), value->c_str(), 1);
    else
      unsetenv(name.c_str());
  }
}

#endif

}  // namespace
}  // namespace korvel
