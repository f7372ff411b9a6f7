// The registry store as Windows programs meet it: a mutex held by another
// program, korvel.exe killed in the middle of a save, and korvel.exe's
// standard input and output as pipes.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <thread>

#include "Korvel.h"
#include "PasswordStore.h"
#include "RegistryStore.h"
#include "ZORVAModule.h"
#include "ChildProcess.h"
#include "TestStores.h"

namespace korvel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TStoredPasswords List(int count, const std::string& prefix) {
  TStoredPasswords stored;
  for (int i = 0; i < count; ++i)
    stored.Records.push_back(
        RecordFromTexts(prefix + std::to_string(i), "prompt " + std::to_string(i), "pw", "MD5"));
  return stored;
}

void Store(TPasswordStore& store, const TStoredPasswords& stored) {
  std::string problem;
  ASSERT_EQ(store.Save(stored, nullptr, problem), kAllWritten) << problem;
}

std::vector<std::string> Tags(const std::vector<TClientPassword>& records) {
  std::vector<std::string> tags;
  for (const auto& record : records) tags.push_back(record.Tag);
  return tags;
}

std::vector<TClientPassword> Load(TPasswordStore& store) {
  TStoredPasswords stored;
  std::string problem;
  store.Load(stored, problem);
  return stored.Records;
}

// Another program in the middle of a save: a thread (a mutex belongs to the
// thread that holds it) that holds the store's mutex until told to finish,
// then runs `finish` while it still holds it.
class TOtherWriter {
 public:
  explicit TOtherWriter(std::function<void()> finish = {})
      : Thread([this, finish] {
          HANDLE mutex = CreateMutexA(nullptr, FALSE, "Local\\Korvel.ZORVA.Store");
          WaitForSingleObject(mutex, 10000);
          SetEvent(Held);
          WaitForSingleObject(Finish, 10000);  // a bound, so a hang fails instead
          if (finish) finish();                // the mutex is its own: a save takes it again
          ReleaseMutex(mutex);
          CloseHandle(mutex);
        }) {
    WaitForSingleObject(Held, 10000);
  }
  void Release() {
    SetEvent(Finish);
    if (Thread.joinable()) Thread.join();
  }
  ~TOtherWriter() {
    Release();
    CloseHandle(Held);
    CloseHandle(Finish);
  }

 private:
  HANDLE Held = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE Finish = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread Thread;
};

TEST(RegistryStoreLock, LoadsAndSavesWaitForAnotherProgramOnlyABoundedTime) {
  TRegistryStore store(300ms);
  TOtherWriter other;
  auto start = Clock::now();
  TStoredPasswords stored;
  std::string problem;
  EXPECT_TRUE(store.Load(stored, problem));  // reads without the mutex
  auto waited = Clock::now() - start;
  EXPECT_GE(waited, 250ms);
  EXPECT_LT(waited, 2500ms);
  start = Clock::now();
  EXPECT_EQ(store.Save(stored, nullptr, problem), kStoreNotWritable);  // never without it
  EXPECT_LT(Clock::now() - start, 2500ms);
  EXPECT_EQ(problem, "another program is saving the client passwords");
  other.Release();
  EXPECT_EQ(store.Save(stored, nullptr, problem), kAllWritten);
}

// The library loads without the mutex when another program holds it too
// long; that load must not let its unload write the list it read over the
// one the other program saved meanwhile.
TEST(RegistryStoreLock, ALoadThatDidNotWaitNeverOverwritesTheSaveItDidNotWaitFor) {
  test::ClearCalvek();
  auto store = std::make_shared<TRegistryStore>(200ms);
  Store(*store, List(1, "old"));
  TOtherWriter other([&] { Store(*store, List(2, "new")); });
  auto start = Clock::now();
  auto module = std::make_unique<TZORVAModule>(store);
  EXPECT_LT(Clock::now() - start, 2500ms);
  EXPECT_EQ(Tags(module->ClientPasswords->Snapshot()), std::vector<std::string>{"old0"});
  other.Release();
  module.reset();  // the unload
  EXPECT_EQ(Tags(Load(*store)), (std::vector<std::string>{"new0", "new1"}));
}

// A save stopped at any write (the program killed; what it wrote stays)
// leaves a store whose next load gives the old list or the new one, whole.
// Also when the save that stops follows one that stopped, and when there was
// no list before.
TEST(RegistryStoreStop, ASaveStoppedAtAnyWriteLoadsTheOldListOrTheNewOne) {
  TRegistryStore store;
  const TStoredPasswords first = List(3, "a"), second = List(2, "b"), third = List(4, "c");
  // Saves `stored`, stopping before write number `budget`; true when the
  // save was not stopped.
  auto save = [&](const TStoredPasswords& stored, int budget) {
    bool stopped = false;
    SetRegistryWriteHook([&] { return !(stopped = stopped || budget-- == 0); });
    std::string problem;
    int result = store.Save(stored, nullptr, problem);
    SetRegistryWriteHook(nullptr);
    EXPECT_EQ(result == kAllWritten, !stopped);
    return !stopped;
  };
  test::TStores raw = test::RegistryStores(false);
  for (bool listBefore : {false, true}) {
    test::ClearCalvek();
    if (listBefore) {
      ASSERT_TRUE(save(first, -1));
    }
    const TRegNode before = raw.ReadKeys();
    const auto old = Load(store);
    bool finished = false;
    for (int stop = 0; !finished; ++stop) {
      raw.WriteKeys(before);
      finished = save(second, stop);
      const auto loaded = Load(store);
      ASSERT_TRUE(loaded == second.Records || (!finished && loaded == old))
          << "stopped at " << stop;
      // Every third stop also stops the save after it at every point.
      if (stop % 3 != 0) continue;
      const TRegNode after = raw.ReadKeys();
      bool finishedAgain = false;
      for (int stopAgain = 0; !finishedAgain; ++stopAgain) {
        raw.WriteKeys(after);
        finishedAgain = save(third, stopAgain);
        const auto reloaded = Load(store);
        ASSERT_TRUE(reloaded == third.Records || (!finishedAgain && reloaded == loaded))
            << "stopped at " << stop << ", then at " << stopAgain;
      }
    }
  }
  test::ClearCalvek();
}

// korvel.exe killed (TerminateProcess) at chosen moments of the save of a
// long list: the next load gives the list before the save or the list after
// it, whole. Round 0 lets the save finish and measures it; the later rounds
// kill it after a random part of that time, every other one once the old
// list is being taken apart.
TEST(RegistryStoreKill, KillingKorvelDuringASaveLeavesTheOldListOrTheNewOne) {
  test::ClearCalvek();
  auto store = std::make_shared<TRegistryStore>();
  Store(*store, List(2000, "r"));
  std::vector<TClientPassword> expected = Load(*store);
  ASSERT_EQ(expected.size(), 2000u);
  HKEY zorva = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kZorvaKeyPath, 0, KEY_READ | KEY_WOW64_32KEY, &zorva),
            ERROR_SUCCESS);
  HANDLE changed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::mt19937 random(4711);
  double saveMs = 0;
  int old = 0, grown = 0, inside = 0;
  const auto testStart = Clock::now();
  for (int round = 0; round < 14; ++round) {
    const std::string tag = "k" + std::to_string(round);
    ResetEvent(changed);
    // Any change below the key: the save has begun (loading writes nothing).
    const DWORD changes = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
    ASSERT_EQ(RegNotifyChangeKeyValue(zorva, TRUE, changes, changed, TRUE), ERROR_SUCCESS);
    const auto started = Clock::now();
    test::TChildProcess child(
        {test::ProgramDir() + "\\korvel.exe", "add", tag, "--type", "md5", "--prompt", "P>"});
    ASSERT_TRUE(child.Started());
    child.WriteLine("secret");
    child.CloseInput();
    ASSERT_EQ(WaitForSingleObject(changed, 30000), WAIT_OBJECT_0) << "round " << round;
    const auto began = Clock::now();
    const double startMs = std::chrono::duration<double, std::milli>(began - started).count();
    double killMs = -1;
    if (round == 0) {
      ASSERT_EQ(child.Wait(), 0);
      saveMs = std::chrono::duration<double, std::milli>(Clock::now() - began).count();
    } else {
      // Odd rounds aim at the moment the old list is taken apart: they wait
      // until the list key loses a record (or itself), then a little more.
      if (round % 2 == 1) {
        HKEY list = nullptr;
        RegOpenKeyExA(zorva, kClientPasswordsKey, 0, KEY_READ, &list);
        for (DWORD count = 0;
             Clock::now() - began < std::chrono::duration<double, std::milli>(saveMs * 2);
             Sleep(1)) {
          if (RegQueryInfoKeyA(list, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
              count < expected.size())
            break;
        }
        if (list) RegCloseKey(list);
      }
      const double rest = round % 2 == 1 ? saveMs / 4 : saveMs * 1.1;
      double wait = std::uniform_real_distribution<double>(0, rest)(random);
      Sleep(static_cast<DWORD>(wait));
      killMs = std::chrono::duration<double, std::milli>(Clock::now() - began).count();
      child.Kill();
      child.Wait();
    }
    // Where the kill landed: a list key that a finished save does not leave.
    const TRegNode key = test::RegistryStores(false).Key(kZorvaKeyPath);
    const TRegNode* list = key.Find(kClientPasswordsKey);
    const std::size_t rawCount = list ? list->Keys.size() : 0;
    const TRegNode* copy = key.Find(kSavingCopyKey);
    const char* copyState = !copy                              ? ""
                            : copy->Value(kSavingCopyComplete) ? " + complete copy"
                                                               : " + partial copy";
    const std::vector<TClientPassword> loaded = Load(*store);
    bool isOld = loaded == expected;
    bool isNew = loaded.size() == expected.size() + 1 &&
                 std::equal(expected.begin(), expected.end(), loaded.begin()) &&
                 loaded.back().Tag == tag;
    std::printf(
        "round %2d: save began %6.1f ms after the start, killed %6.1f ms into it (a save"
        " takes %6.1f), list key %4zu records%s, loads %s\n",
        round, startMs, killMs, saveMs, rawCount, copyState,
        isOld   ? "the old list"
        : isNew ? "the new list"
                : "A TORN LIST");
    ASSERT_TRUE(isOld || isNew) << "round " << round << ": " << loaded.size() << " records";
    if (rawCount != expected.size() && rawCount != expected.size() + 1) ++inside;
    if (round > 0) (isOld ? old : grown)++;
    expected = loaded;
  }
  std::printf("%d kills: %d old, %d new, %d inside the rewrite of the list; %.1f s\n", old + grown,
              old, grown, inside, std::chrono::duration<double>(Clock::now() - testStart).count());
  EXPECT_GT(inside, 0);  // kills did land inside the rewrite
  CloseHandle(changed);
  RegCloseKey(zorva);
  test::ClearCalvek();
}

// ---- accounts: what Windows lets an account do with HKEY_LOCAL_MACHINE ----

// Full: an administrator's elevated program. ReadOnly: a standard user, or
// an administrator's program under UAC. Virtualized: an old 32-bit host
// program of such an account, whose writes to HKEY_LOCAL_MACHINE Windows
// does not refuse but sends to the account's VirtualStore.
enum class TMachine { Full, ReadOnly, None, Virtualized };

// Refuses keys below HKEY_LOCAL_MACHINE as Windows refuses the account: a
// standard user (or an administrator under UAC) may read but not write, some
// keys not even be read; a virtualised program is refused nothing. Every key
// is asked for in the 32-bit view.
void ActAs(TMachine rights) {
  SetRegistryVirtualizationHook([rights] { return rights == TMachine::Virtualized; });
  SetRegistryAccessHook([rights](HKEY hive, REGSAM asked) -> LONG {
    if (!(asked & KEY_WOW64_32KEY)) return ERROR_INVALID_PARAMETER;
    if (hive != HKEY_LOCAL_MACHINE || rights == TMachine::Full ||
        rights == TMachine::Virtualized)
      return ERROR_SUCCESS;
    bool reading = (asked & ~static_cast<REGSAM>(KEY_READ | KEY_WOW64_32KEY)) == 0;
    return rights == TMachine::ReadOnly && reading ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
  });
}

void ActAsThisProcess() {
  SetRegistryAccessHook(nullptr);
  SetRegistryVirtualizationHook(nullptr);
}

std::vector<std::string> TagsIn(const TRegNode& root, const std::string& hive) {
  std::vector<std::string> tags;
  if (const TRegNode* list =
          root.Find(hive + "\\" + kZorvaKeyPath + "\\" + std::string(kClientPasswordsKey)))
    for (const auto& [name, record] : list->Keys) tags.push_back(record->Text("Tag").value_or(""));
  return tags;
}

struct TAccountCase {
  const char* Name;
  TMachine Rights;
  bool OwnCopy;           // the account already has a copy under HKEY_CURRENT_USER
  const char* Loaded;     // the first tag a load gives
  const char* SavedIn;    // the hive a save writes to
  const char* WhereSays;  // part of what `korvel where` tells
};

TEST(RegistryStoreAccounts, EachAccountReadsAndWritesTheListItMay) {
  const TAccountCase cases[] = {
      {"administrator", TMachine::Full, false, "m0", "HKEY_LOCAL_MACHINE",
       "The list of every user of this computer.\n"},
      {"standard user", TMachine::ReadOnly, false, "m0", "HKEY_CURRENT_USER",
       "may read it but not change it"},
      // Run as administrator, a program of an account that keeps its own
      // copy works on the list of every user, and says so.
      {"administrator with an own copy", TMachine::Full, true, "m0", "HKEY_LOCAL_MACHINE",
       "is what your programs without those rights use"},
      {"standard user with an own copy", TMachine::ReadOnly, true, "u0", "HKEY_CURRENT_USER",
       "Your own list"},
      // An old host program whose writes Windows virtualises saves into the
      // account's copy, which KOR and korvel see, not into the VirtualStore.
      {"virtualised host", TMachine::Virtualized, false, "m0", "HKEY_CURRENT_USER",
       "may read it but not change it"},
      {"virtualised host with an own copy", TMachine::Virtualized, true, "u0",
       "HKEY_CURRENT_USER", "Your own list"},
  };
  for (const TAccountCase& c : cases) {
    SCOPED_TRACE(c.Name);
    test::TStores stores = test::RegistryStores();
    stores.EditKey(kKorKeyPath, [](TRegNode& kor) { kor.SetText(kHelpFileValue, "machine.hlp"); });
    Store(*stores.Passwords, List(2, "m"));
    if (c.OwnCopy) {
      TRegNode root = stores.ReadKeys();
      root.Create(std::string("HKEY_CURRENT_USER\\") + kZorvaKeyPath);
      stores.WriteKeys(root);
      ActAs(TMachine::ReadOnly);
      Store(*stores.Passwords, List(1, "u"));
    }
    ActAs(c.Rights);
    TStoredPasswords loaded;
    std::string problem;
    ASSERT_TRUE(stores.Passwords->Load(loaded, problem)) << problem;
    ASSERT_EQ(loaded.Records.at(0).Tag, c.Loaded);
    EXPECT_NE(stores.Passwords->Where().find(c.WhereSays), std::string::npos)
        << stores.Passwords->Where();

    // A conditional save of a changed list, and of changed settings.
    TStoredPasswords next = List(3, "new");
    EXPECT_EQ(stores.Passwords->Save(next, &loaded, problem), kAllWritten) << problem;
    TKorSettings settings;
    stores.Settings->Load(settings);
    settings.Settings.TopmostWindow = 1;
    EXPECT_TRUE(stores.Settings->Save(settings));

    EXPECT_EQ(Tags(Load(*stores.Passwords)), (std::vector<std::string>{"new0", "new1", "new2"}));
    TKorSettings reread;
    stores.Settings->Load(reread);
    EXPECT_EQ(reread.Settings.TopmostWindow, 1u);
    EXPECT_EQ(reread.HelpFile, "machine.hlp");  // taken over with the settings
    ActAsThisProcess();
    const TRegNode root = stores.ReadKeys();
    EXPECT_EQ(TagsIn(root, c.SavedIn).size(), 3u);
    if (std::string(c.SavedIn) == "HKEY_CURRENT_USER")
      EXPECT_EQ(TagsIn(root, "HKEY_LOCAL_MACHINE"), (std::vector<std::string>{"m0", "m1"}));
    else if (c.OwnCopy)
      EXPECT_EQ(TagsIn(root, "HKEY_CURRENT_USER"), (std::vector<std::string>{"u0"}));
    else
      EXPECT_FALSE(root.Find(std::string("HKEY_CURRENT_USER\\SOFTWARE\\Calvek")));
  }
  test::ClearCalvek();
}

// korvel explains a list it may not read instead of showing an empty one.
TEST(RegistryStoreAccounts, KorvelReportsAListItMayNotRead) {
  test::TStores stores = test::RegistryStores();
  Store(*stores.Passwords, List(1, "m"));
  ActAs(TMachine::None);
  cli::TTextInput in("");
  cli::TTextOutput out, err;
  cli::TConsole console{in, out, err, nullptr, nullptr};
  EXPECT_EQ(cli::Run({"list"}, stores.Passwords, console), 1);
  EXPECT_EQ(out.Text, "");
  EXPECT_EQ(cli::Run({"where"}, stores.Passwords, console), 0);
  ActAsThisProcess();
  EXPECT_NE(out.Text.find("; it cannot be read (access denied"), std::string::npos) << out.Text;
  EXPECT_NE(err.Text.find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Calvek\\ZORVA\\CurrentVersion cannot "
                          "be read (access denied"),
            std::string::npos)
      << err.Text;
  test::ClearCalvek();
}

// 32-bit and 64-bit programs share one store: the registry's 32-bit view,
// where a 32-bit ZORVA.DLL has always kept the list.
TEST(RegistryStoreView, TheListLivesInThe32BitView) {
  test::TStores stores = test::RegistryStores();
  Store(*stores.Passwords, List(1, "v"));
  HKEY key = nullptr;
  EXPECT_EQ(
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node\\Calvek\\ZORVA\\CurrentVersion", 0,
                    KEY_READ | KEY_WOW64_64KEY, &key),
      sizeof(void*) == 8 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
  if (key) RegCloseKey(key);
  if (sizeof(void*) == 8) {
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kZorvaKeyPath, 0, KEY_READ | KEY_WOW64_64KEY, &key),
              ERROR_FILE_NOT_FOUND);
  }
  test::ClearCalvek();
}

// Runs korvel.exe (this build's, or `program`) with `input` through a pipe on
// its standard input; the bytes it writes to the pipe on its standard
// output, as they are.
std::string Korvel(const std::vector<std::string>& args, const std::string& input,
                   int* code = nullptr, std::string program = {}) {
  if (program.empty()) program = test::ProgramDir() + "\\korvel.exe";
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), args.begin(), args.end());
  test::TChildProcess korvel(argv);
  if (!korvel.Started()) return "(not started)";
  korvel.Write(input);
  korvel.CloseInput();
  std::string out = korvel.ReadAllBytes();
  int exit = korvel.Wait();
  if (code) *code = exit;
  return out;
}

class KorvelPipes : public ::testing::Test {
 protected:
  void SetUp() override { test::ClearCalvek(); }
  void TearDown() override { test::ClearCalvek(); }
};

TEST_F(KorvelPipes, AnExportThroughAPipeKeepsItsLineEndsAndImportsAgain) {
  int code = -1;
  Korvel({"add", "mail", "--type", "md5", "--prompt", "BBS>"}, "s3cret\r\n", &code);
  ASSERT_EQ(code, 0);
  Korvel({"add", "ita", "--type", "itanet", "--prompt", "ITA>"}, "11111\n", &code);
  ASSERT_EQ(code, 0);
  const std::string list = Korvel({"list"}, "");
  const std::string exported = Korvel({"export"}, "", &code);
  ASSERT_EQ(code, 0);
  EXPECT_EQ(exported.rfind("REGEDIT4\r\n\r\n", 0), 0u) << exported;
  EXPECT_EQ(exported.find("\r\r"), std::string::npos) << exported;
  const std::string path = test::MakeTempDir() + "\\backup.reg";
  test::WriteFileBytes(path, exported);
  test::ClearCalvek();
  Korvel({"import", path}, "", &code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(Korvel({"list"}, ""), list);
  EXPECT_EQ(list, "0\tmail\tMD5\tBBS>\n1\tita\tITANET\tITA>\n");
}

TEST_F(KorvelPipes, ReplyAnswersEveryPipedLineAlsoAfterACtrlZ) {
  int code = -1;
  Korvel({"add", "ita", "--type", "itanet", "--prompt", "ITA>"}, "11111\n", &code);
  ASSERT_EQ(code, 0);
  EXPECT_EQ(Korvel({"reply"}, "ITA> 1 2 3 4 5\n\x1a then more\r\nITA> 1 1 1 1 1\n", &code),
            "15\n\n5\n");
  EXPECT_EQ(code, 0);
}

#ifdef KORVEL_WIN32_KORVEL
// The 32-bit korvel.exe and the 64-bit one, run in one 64-bit Windows, see
// one list, whichever of them writes it.
TEST_F(KorvelPipes, The32BitAnd64BitKorvelShareOneList) {
  const std::string korvel32 = KORVEL_WIN32_KORVEL;
  if (!test::FileExists(korvel32)) GTEST_SKIP() << "no 32-bit build at " << korvel32;
  const char* runs32 = std::getenv("KORVEL_RUNS_32BIT");  // set by the test run
  if (!runs32 || std::string(runs32) != "yes")
    GTEST_SKIP() << "this machine cannot run 32-bit programs";
  int code = -1;
  const std::string version = Korvel({"--version"}, "", &code, korvel32);
  ASSERT_EQ(code, 0) << "the 32-bit korvel.exe did not start: " << version;
  Korvel({"add", "from64", "--type", "md5", "--prompt", "A>"}, "pw\n", &code);
  ASSERT_EQ(code, 0);
  Korvel({"add", "from32", "--type", "md5", "--prompt", "B>"}, "pw\n", &code, korvel32);
  ASSERT_EQ(code, 0);
  const std::string both = "0\tfrom64\tMD5\tA>\n1\tfrom32\tMD5\tB>\n";
  EXPECT_EQ(Korvel({"list"}, ""), both);
  EXPECT_EQ(Korvel({"list"}, "", nullptr, korvel32), both);
}
#endif

}  // namespace
}  // namespace korvel
