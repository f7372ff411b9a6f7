// The registry store as Windows programs meet it: a mutex held by another
// program, korvel.exe killed in the middle of a save, and korvel.exe's
// standard input and output as pipes.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <cstdio>
#include <random>
#include <thread>

#include "ClientPasswordStore.h"
#include "ZORVAModule.h"
#include "ChildProcess.h"
#include "TestStores.h"

namespace korvel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TClientPasswordList List(int count, const std::string& prefix) {
  TClientPasswordList records;
  for (int i = 0; i < count; ++i) {
    auto record = std::make_unique<TClientPassword>(prefix + std::to_string(i));
    record->Challenge = "prompt " + std::to_string(i);
    record->String = "pw";
    record->Type = kMD5;
    records.Add(std::move(record));
  }
  return records;
}

void Store(TRegStore& store, const TClientPasswordList& records) {
  auto session = store.Begin(TRegAccess::Write);
  ASSERT_TRUE(session);
  ASSERT_EQ(WriteClientPasswords(session->LocalMachine(), {}, records), kAllWritten);
}

std::vector<std::string> Tags(const std::vector<TClientPassword>& records) {
  std::vector<std::string> tags;
  for (const auto& record : records) tags.push_back(record.Tag);
  return tags;
}

std::vector<TClientPassword> Load(TRegStore& store) {
  auto session = store.Begin(TRegAccess::Read);
  TZorvaVersions versions;
  TClientPasswordList records;
  if (session) ReadClientPasswords(session->LocalMachine(), versions, records);
  return records.Snapshot();
}

// Another program in the middle of a save: a thread (a mutex belongs to the
// thread that holds it) that holds the store's write session until told to
// finish, then runs `finish` inside it.
class TOtherWriter {
 public:
  explicit TOtherWriter(std::function<void(TRegKey&)> finish = {})
      : Thread([this, finish] {
          auto session = MakeWin32RegStore()->Begin(TRegAccess::Write);
          SetEvent(Held);
          WaitForSingleObject(Finish, 10000);  // a bound, so a hang fails instead
          if (session && finish) finish(session->LocalMachine());
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

TEST(RegistryStoreLock, SessionsWaitForAnotherProgramOnlyABoundedTime) {
  auto store = MakeWin32RegStore(300ms);
  TOtherWriter other;
  auto start = Clock::now();
  std::string problem;
  EXPECT_TRUE(store->Begin(TRegAccess::Read, problem));  // reads without the mutex
  auto waited = Clock::now() - start;
  EXPECT_GE(waited, 250ms);
  EXPECT_LT(waited, 2500ms);
  start = Clock::now();
  EXPECT_FALSE(store->Begin(TRegAccess::Write, problem));  // never writes without it
  EXPECT_LT(Clock::now() - start, 2500ms);
  EXPECT_EQ(problem, "another program is saving the client passwords");
  other.Release();
  EXPECT_TRUE(store->Begin(TRegAccess::Write, problem));
}

// The library loads without the mutex when another program holds it too
// long; that load must not let its unload write the list it read over the
// one the other program saved meanwhile.
TEST(RegistryStoreLock, ALoadThatDidNotWaitNeverOverwritesTheSaveItDidNotWaitFor) {
  std::shared_ptr<TRegStore> store = MakeWin32RegStore(200ms);
  test::ClearCalvek(*store);
  Store(*store, List(1, "old"));
  const TClientPasswordList saved = List(2, "new");
  TOtherWriter other([&](TRegKey& machine) { WriteClientPasswords(machine, {}, saved); });
  auto start = Clock::now();
  auto module = std::make_unique<TZORVAModule>(store);
  EXPECT_LT(Clock::now() - start, 2500ms);
  EXPECT_EQ(Tags(module->ClientPasswords->Snapshot()), std::vector<std::string>{"old0"});
  other.Release();
  module.reset();  // the unload
  EXPECT_EQ(Tags(Load(*store)), (std::vector<std::string>{"new0", "new1"}));
}

// korvel.exe killed (TerminateProcess) at chosen moments of the save of a
// long list: the next load gives the list before the save or the list after
// it, whole. Round 0 lets the save finish and measures it; the later rounds
// kill it after a random part of that time, every other one once the old
// list is being taken apart.
TEST(RegistryStoreKill, KillingKorvelDuringASaveLeavesTheOldListOrTheNewOne) {
  std::shared_ptr<TRegStore> store = MakeWin32RegStore();
  test::ClearCalvek(*store);
  Store(*store, List(2000, "r"));
  std::vector<TClientPassword> expected = Load(*store);
  ASSERT_EQ(expected.size(), 2000u);
  HKEY zorva = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kZorvaKeyPath, 0, KEY_READ, &zorva), ERROR_SUCCESS);
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
    test::TChildProcess child({test::ProgramDir() + "\\korvel.exe", "add", tag, "--type", "md5",
                               "--prompt", "P>"});
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
        for (DWORD count = 0; Clock::now() - began < std::chrono::duration<double, std::milli>(
                                                           saveMs * 2);
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
    auto session = store->Begin(TRegAccess::Read);
    auto key = session->LocalMachine().Open(kZorvaKeyPath);
    auto list = key->Open(kClientPasswordsKey);
    uint32_t rawCount = list ? list->SubKeyCount() : 0;
    auto copy = key->Open(kSavingCopyKey);
    const char* copyState = !copy                                   ? ""
                            : copy->Query(kSavingCopyComplete) ? " + complete copy"
                                                                    : " + partial copy";
    copy.reset();
    list.reset();
    key.reset();
    session.reset();
    const std::vector<TClientPassword> loaded = Load(*store);
    bool isOld = loaded == expected;
    bool isNew = loaded.size() == expected.size() + 1 &&
                 std::equal(expected.begin(), expected.end(), loaded.begin()) &&
                 loaded.back().Tag == tag;
    std::printf("round %2d: save began %6.1f ms after the start, killed %6.1f ms into it (a save"
                " takes %6.1f), list key %4u records%s, loads %s\n",
                round, startMs, killMs, saveMs, rawCount, copyState,
                isOld ? "the old list" : isNew ? "the new list" : "A TORN LIST");
    ASSERT_TRUE(isOld || isNew) << "round " << round << ": " << loaded.size() << " records";
    if (rawCount != expected.size() && rawCount != expected.size() + 1) ++inside;
    if (round > 0) (isOld ? old : grown)++;
    expected = loaded;
  }
  std::printf("%d kills: %d old, %d new, %d inside the rewrite of the list; %.1f s\n", old + grown,
              old, grown, inside,
              std::chrono::duration<double>(Clock::now() - testStart).count());
  EXPECT_GT(inside, 0);  // kills did land inside the rewrite
  CloseHandle(changed);
  RegCloseKey(zorva);
  test::ClearCalvek(*store);
}

// Runs korvel.exe with `input` through a pipe on its standard input; the
// bytes it writes to the pipe on its standard output, as they are.
std::string Korvel(const std::vector<std::string>& args, const std::string& input,
                   int* code = nullptr) {
  std::vector<std::string> argv = {test::ProgramDir() + "\\korvel.exe"};
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
  void SetUp() override { test::ClearCalvek(*MakeWin32RegStore()); }
  void TearDown() override { test::ClearCalvek(*MakeWin32RegStore()); }
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
  test::ClearCalvek(*MakeWin32RegStore());
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

}  // namespace
}  // namespace korvel
