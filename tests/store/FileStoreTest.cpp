// The file store: its permissions, its locking, its atomic replacement, and
// what it does with files that are no store of its own.
#include <gtest/gtest.h>

#include "FileIO.h"
#include "FileStore.h"
#include "TestStores.h"

#ifndef _WIN32
#include <signal.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#endif

namespace korvel {
namespace {

#ifndef _WIN32

class FileStore : public ::testing::Test {
 protected:
  std::string Dir = test::MakeTempDir() + "/config/korvel";
  std::string Path = Dir + "/registry.reg";
  std::unique_ptr<TFileStore> Store = std::make_unique<TFileStore>(Path);

  // Gives the client password `tag` (added when missing) the password
  // `value`; the store's result.
  static int Set(TPasswordStore& store, const std::string& tag, const std::string& value,
                 std::string* problem = nullptr) {
    TStoredPasswords stored;
    std::string why;
    if (!store.Load(stored, why)) return kStoreNotWritable;
    auto it = std::find_if(stored.Records.begin(), stored.Records.end(),
                           [&](const TClientPassword& r) { return r.Tag == tag; });
    if (it == stored.Records.end())
      stored.Records.push_back(RecordFromTexts(tag, "", value, "MD5"));
    else
      it->String = value;
    int result = store.Save(stored, nullptr, why);
    if (problem) *problem = why;
    return result;
  }
  static bool Save(TPasswordStore& store, const std::string& tag, const std::string& value) {
    return Set(store, tag, value) == kAllWritten;
  }
  void Write(const std::string& tag, const std::string& value) {
    ASSERT_TRUE(Save(*Store, tag, value));
  }
  void EnsureFolder() { ASSERT_TRUE(fileio::EnsureDir(Dir)); }
  static std::optional<std::string> Read(TPasswordStore& store, const std::string& tag) {
    TStoredPasswords stored;
    std::string problem;
    store.Load(stored, problem);
    for (const TClientPassword& r : stored.Records)
      if (r.Tag == tag) return r.String;
    return std::nullopt;
  }
  std::optional<std::string> Read(const std::string& tag) { return Read(*Store, tag); }
};

TEST_F(FileStore, CreatesOwnerOnlyFolderAndFile) {
  Write("a", "1");
  struct stat st {};
  ASSERT_EQ(stat(Dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(stat(Path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  std::string text = test::ReadFileBytes(Path);
  EXPECT_EQ(
      text.rfind(
          "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Calvek\\ZORVA\\CurrentVersion]\r\n", 0),
      0u)
      << text;
  EXPECT_NE(
      text.find("\"Tag\"=\"a\"\r\n\"Challenge\"=\"\"\r\n\"String\"=\"1\"\r\n\"Type\"=\"MD5\"\r\n"),
      std::string::npos)
      << text;
}

// A save that expects the list it loaded writes nothing once another
// program saved another list meanwhile.
TEST_F(FileStore, ASaveOfAStaleListWritesNothing) {
  Write("a", "1");
  TStoredPasswords loaded;
  std::string problem;
  ASSERT_TRUE(Store->Load(loaded, problem));
  Write("a", "2");
  TStoredPasswords next = loaded;
  next.Records[0].String = "3";
  EXPECT_EQ(Store->Save(next, &loaded, problem), kStoreChanged);
  EXPECT_EQ(Read("a"), "2");
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
    for (int i = 0; i < times;) {
      TStoredPasswords loaded;
      std::string problem;
      if (!Store->Load(loaded, problem)) return false;
      TStoredPasswords next = loaded;
      next.Records.at(0).String = std::to_string(std::stoi(loaded.Records.at(0).String) + 1);
      int result = Store->Save(next, &loaded, problem);
      if (result == kAllWritten)
        ++i;  // else the other process saved first: again
      else if (result != kStoreChanged)
        return false;
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
    TStoredPasswords stored;
    for (int i = 0; i < 400; ++i)
      stored.Records.push_back(RecordFromTexts(std::to_string(i), "prompt",
                                               std::string(100, variant ? 'b' : 'a'), "MD5"));
    return stored;
  };
  const TStoredPasswords variants[2] = {contents(0), contents(1)};
  auto save = [&](int variant) {
    std::string problem;
    return Store->Save(variants[variant], nullptr, problem) == kAllWritten;
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
    TStoredPasswords loaded;
    ReadPasswords(*parsed.Root, loaded);
    bool isOld = loaded.Records == variants[0].Records;
    bool isNew = loaded.Records == variants[1].Records;
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
    TFileStore store(path);
    TStoredPasswords stored;
    std::string problem;
    EXPECT_EQ(store.Load(stored, problem), c.Readable) << c.Name;
    EXPECT_EQ(problem.empty(), c.Readable) << c.Name << ": " << problem;
    problem.clear();
    stored.Records = {RecordFromTexts("a", "", "1", "MD5")};
    EXPECT_EQ(store.Save(stored, nullptr, problem) == kAllWritten, c.Readable) << c.Name;
    EXPECT_EQ(problem.find(path) != std::string::npos, !c.Readable) << c.Name << ": " << problem;
    EXPECT_FALSE(test::FileExists(path + ".bad")) << c.Name;
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
  auto linked = std::make_unique<TFileStore>(link);
  auto save = [](TPasswordStore& store, const char* value) { return Save(store, "a", value); };
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
  TFileStore plantedStore(planted);
  EXPECT_FALSE(save(plantedStore, "3"));
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
  EXPECT_EQ(Set(*Store, "a", "3", &problem), kStoreNotWritable);
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
  TStoredPasswords stored;
  EXPECT_EQ(Store->Save(stored, nullptr, problem), kStoreNotWritable);
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
  for (TFileStep failing :
       {TFileStep::CreateTemp, TFileStep::Write, TFileStep::Sync, TFileStep::Rename}) {
    fileio::SetFileStepHook([&](TFileStep step, const std::string&) { return step != failing; });
    std::string before = test::ReadFileBytes(Path);
    std::string problem;
    EXPECT_EQ(Set(*Store, "a", "3", &problem), kStoreNotWritable);
    EXPECT_NE(problem, "");
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
  TFileStore quick(Path, std::chrono::milliseconds(100));
  std::string problem;
  EXPECT_EQ(Set(quick, "a", "2", &problem), kStoreNotWritable);
  EXPECT_NE(problem.find("another program"), std::string::npos) << problem;
  EXPECT_EQ(Read(quick, "a"), "1");
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
