// The client passwords in the store: layout, reading rules, order, and the
// save at unload that must never revert another process's edit.
#include <gtest/gtest.h>

#include "ZORVAModule.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif
#include "FaultyStore.h"
#include "TestStores.h"

namespace korvel {
namespace {

using test::StoreKinds;
using test::TStoreKind;

TClientPassword Record(std::string tag, std::string prompt, std::string password,
                       int type, std::string matrixLen = "") {
  TClientPassword r(std::move(tag));
  r.Challenge = std::move(prompt);
  r.String = std::move(password);
  r.Type = type;
  r.MatrixLen = std::move(matrixLen);
  return r;
}

class ClientPasswordStore : public ::testing::TestWithParam<TStoreKind> {
 protected:
  std::shared_ptr<TRegStore> Store = GetParam().Make();

  // Runs `edit` on the ZORVA key inside one committed write session.
  template <typename F>
  void EditStore(F edit) {
    auto session = Store->Begin(TRegAccess::Write);
    ASSERT_TRUE(session);
    auto key = session->LocalMachine().Create(kZorvaKeyPath);
    ASSERT_TRUE(key);
    edit(*key);
    ASSERT_TRUE(session->Commit());
  }
  template <typename F>
  void ReadStore(F read) {
    auto session = Store->Begin(TRegAccess::Read);
    auto key = session->LocalMachine().Open(kZorvaKeyPath);
    ASSERT_TRUE(key);
    read(*key);
  }
  void StoreRecords(const std::vector<TClientPassword>& records) {
    TZORVAModule module(Store);
    module.ClientPasswords->Flush();
    for (const auto& r : records) module.ClientPasswords->Add(std::make_unique<TClientPassword>(r));
    ASSERT_EQ(module.SaveClientPasswords(), -1);
  }
  std::vector<TClientPassword> Loaded() {
    TZORVAModule module(Store);
    return module.ClientPasswords->Snapshot();
  }
};

TEST_P(ClientPasswordStore, FirstStartFindsNothingAndWritesTheDefaults) {
  {
    TZORVAModule module(Store);
    EXPECT_EQ(module.ClientPasswords->Count(), 0);
    EXPECT_EQ(module.MajorVersion, 1u);
    EXPECT_EQ(module.Build, 1u);
  }  // the unload writes the store
  ReadStore([](TRegKey& key) {
    EXPECT_EQ(QueryDword(key, "MajorVersion"), 1u);
    EXPECT_EQ(QueryDword(key, "MinorVersion"), 0u);
    EXPECT_EQ(QueryDword(key, "Build"), 1u);
    EXPECT_EQ(QueryDword(key, "InstallationDate"), 0u);
    auto list = key.Open("ClientPasswords");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->SubKeyCount(), 0u);
  });
}

TEST_P(ClientPasswordStore, RecordsComeBackInOrderWithTheStoredLayout) {
  std::vector<TClientPassword> records = {
      Record("node", "NODE}", "abcdef", kNetromMatrix, "5"),
      Record("bbs", "[", "secret", kMD2),
      Record("mail", "mailbox", "pw", kMD5),
      Record("ita", "ITA>", "12345", kItanet),
      Record("flex", "FLX", "54321", kFlexnet),
  };
  StoreRecords(records);
  EXPECT_EQ(Loaded(), records);
  bool registry = GetParam().Name == "registry";
  ReadStore([&](TRegKey& key) {
    auto list = key.Open("ClientPasswords");
    ASSERT_EQ(list->SubKeyCount(), 5u);
    auto first = list->Open("0");
    ASSERT_TRUE(first);
    // Texts are written without a terminating zero; Wine's registry reports
    // them with one added, so there either form counts.
    auto tag = first->Query("Tag");
    ASSERT_TRUE(tag);
    if (registry && tag->Data == std::string("node\0", 5)) tag->Data.pop_back();
    EXPECT_EQ(tag, (TRegValue{kRegSz, "node"}));
    EXPECT_EQ(QueryText(*first, "Type"), "M5");
    EXPECT_EQ(QueryText(*list->Open("1"), "Type"), "MD2");
    EXPECT_EQ(QueryText(*list->Open("2"), "Type"), "MD5");
    EXPECT_EQ(QueryText(*list->Open("3"), "Type"), "ITANET");
    EXPECT_EQ(QueryText(*list->Open("4"), "Type"), "FLEXNET");
  });
}

TEST_P(ClientPasswordStore, TypeTextsAreReadByTheirFirstCharacters) {
  struct Case {
    const char* text;
    int type;
    const char* matrixLen;
  } cases[] = {{"M5", 0, "5"},      {"m7", 0, "7"},       {"M12", 0, "12"},
               {"M", 0, ""},        {"MD2", 1, ""},       {"md2", 1, ""},
               {"MD", 1, ""},       {"MD5", 2, ""},       {"mD5", 2, ""},
               {"ITANET", 3, ""},   {"Ixyz", 3, ""},      {"flexnet", 4, ""},
               {"SHA", 1, ""},      {"9", 1, ""},         {"", 1, ""}};
  EditStore([&](TRegKey& key) {
    for (std::size_t i = 0; i < std::size(cases); ++i)
      SetText(*key.Create("ClientPasswords\\" + std::to_string(i)), "Type", cases[i].text);
  });
  auto loaded = Loaded();
  ASSERT_EQ(loaded.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(loaded[i].Type, cases[i].type) << cases[i].text;
    EXPECT_EQ(loaded[i].MatrixLen, cases[i].matrixLen) << cases[i].text;
  }
}

TEST_P(ClientPasswordStore, VersionValuesAreCarriedThroughLoadAndSave) {
  EditStore([](TRegKey& key) {
    SetDword(key, "MajorVersion", 7);
    SetDword(key, "MinorVersion", 8);
    SetDword(key, "Build", 900);
    SetDword(key, "InstallationDate", 0x12345678);
  });
  { TZORVAModule module(Store); }
  ReadStore([](TRegKey& key) {
    EXPECT_EQ(QueryDword(key, "MajorVersion"), 7u);
    EXPECT_EQ(QueryDword(key, "MinorVersion"), 8u);
    EXPECT_EQ(QueryDword(key, "Build"), 900u);
    EXPECT_EQ(QueryDword(key, "InstallationDate"), 0x12345678u);
  });
}

TEST_P(ClientPasswordStore, ElevenAndMoreRecordsKeepTheirSavedOrder) {
  std::vector<TClientPassword> records;
  for (int i = 0; i < 23; ++i)
    records.push_back(Record("tag" + std::to_string(i), "p" + std::to_string(i), "x", kMD5));
  StoreRecords(records);
  EXPECT_EQ(Loaded(), records);
  // Names that are not numbers come after the numbered ones.
  EditStore([](TRegKey& key) {
    SetText(*key.Create("ClientPasswords\\extra"), "Tag", "extra");
    SetText(*key.Create("ClientPasswords\\007"), "Tag", "seven again");
  });
  auto loaded = Loaded();
  ASSERT_EQ(loaded.size(), 25u);
  // 007 and 7 are the same number: they keep the store's order, 007 first.
  EXPECT_EQ(loaded[7].Tag, "seven again");
  EXPECT_EQ(loaded[8].Tag, "tag7");
  EXPECT_EQ(loaded[24].Tag, "extra");
}

TEST_P(ClientPasswordStore, SavingAfterADeleteRenumbersWithoutGaps) {
  StoreRecords({Record("a", "", "", kMD2), Record("b", "", "", kMD2), Record("c", "", "", kMD2)});
  StoreRecords({Record("a", "", "", kMD2), Record("c", "", "", kMD2)});
  ReadStore([](TRegKey& key) {
    auto list = key.Open("ClientPasswords");
    EXPECT_EQ(list->SubKeyCount(), 2u);
    EXPECT_EQ(QueryText(*list->Open("1"), "Tag"), "c");
    EXPECT_FALSE(list->Open("2"));
  });
}

TEST_P(ClientPasswordStore, DamagedRecordsReadAsFarAsTheyGo) {
  EditStore([](TRegKey& key) {
    SetText(key, "MajorVersion", "not a number");
    key.Set("Build", TRegValue{kRegDword, "12"});  // wrong size
    auto r0 = key.Create("ClientPasswords\\0");
    SetText(*r0, "Tag", "long");
    SetText(*r0, "String", std::string(300, 'p'));
    r0->Set("Challenge", TRegValue{kRegSz, std::string("with zero\0", 10)});
    auto r1 = key.Create("ClientPasswords\\1");  // no values at all
    SetDword(*r1, "Type", 2);                   // and a Type of the wrong type
  });
  TZORVAModule module(Store);
  EXPECT_EQ(module.MajorVersion, 1u);
  EXPECT_EQ(module.Build, 1u);
  ASSERT_EQ(module.ClientPasswords->Count(), 2);
  const TClientPassword& r0 = module.ClientPasswords->At(0);
  EXPECT_EQ(r0.String, std::string(255, 'p'));
  EXPECT_EQ(r0.Challenge, "with zero");
  const TClientPassword& r1 = module.ClientPasswords->At(1);
  EXPECT_EQ(r1.Tag, "");
  EXPECT_EQ(r1.Type, kMD2);
}

TEST_P(ClientPasswordStore, AMissingListLeavesTheListInMemoryAlone) {
  StoreRecords({Record("a", "", "", kMD2)});
  TZORVAModule module(Store);
  EditStore([](TRegKey& key) { key.DeleteTree("ClientPasswords"); });
  module.LoadClientPasswords();
  EXPECT_EQ(module.ClientPasswords->Count(), 1);
}

TEST_P(ClientPasswordStore, ThousandsOfRecordsRoundTrip) {
  std::vector<TClientPassword> records;
  for (int i = 0; i < 3000; ++i)
    records.push_back(Record("t" + std::to_string(i), "prompt " + std::to_string(i), "pw", i % 5,
                             i % 5 == 0 ? "4" : ""));
  StoreRecords(records);
  EXPECT_EQ(Loaded(), records);
}

TEST_P(ClientPasswordStore, UnloadWithNothingInBetweenRewritesTheStore) {
  StoreRecords({Record("a", "x", "y", kMD5)});
  TZORVAModule module(Store);
  EditStore([](TRegKey& key) { key.DeleteValue("Build"); });
  EXPECT_TRUE(module.SaveAtUnload());
  ReadStore([](TRegKey& key) { EXPECT_EQ(QueryDword(key, "Build"), 1u); });
}

TEST_P(ClientPasswordStore, UnloadNeverRevertsAnEditSavedElsewhere) {
  StoreRecords({Record("a", "x", "y", kMD5)});
  auto longRunning = std::make_unique<TZORVAModule>(Store);  // the desktop program
  {
    TZORVAModule editor(Store);  // another program edits and saves
    editor.ClientPasswords->Add(std::make_unique<TClientPassword>(Record("b", "z", "w", kMD2)));
    ASSERT_EQ(editor.SaveClientPasswords(), -1);
    // Its own unload finds the store as it saved it and rewrites it.
  }
  longRunning.reset();
  auto loaded = Loaded();
  ASSERT_EQ(loaded.size(), 2u);
  EXPECT_EQ(loaded[1].Tag, "b");
}

TEST_P(ClientPasswordStore, UnloadNeverRevertsVersionValuesSavedElsewhere) {
  StoreRecords({Record("a", "x", "y", kMD5)});
  auto longRunning = std::make_unique<TZORVAModule>(Store);
  EditStore([](TRegKey& key) { SetDword(key, "Build", 77); });  // an import meanwhile
  EXPECT_FALSE(longRunning->SaveAtUnload());
  ReadStore([](TRegKey& key) { EXPECT_EQ(QueryDword(key, "Build"), 77u); });
}

INSTANTIATE_TEST_SUITE_P(Backends, ClientPasswordStore, ::testing::ValuesIn(StoreKinds()),
                         [](const auto& info) { return info.param.Name; });

#ifndef _WIN32
// A store that is there but cannot be read is worked around, never written
// over: not at unload, not by a save; and the library prints nothing.
TEST(ClientPasswordStoreFailure, AnUnreadableStoreIsNeverWritten) {
  std::string path = test::MakeTempDir() + "/registry.reg";
  ASSERT_EQ(mkdir(path.c_str(), 0700), 0);  // what stands there cannot be read as a file
  std::shared_ptr<TRegStore> store = MakeFileRegStore(path);
  testing::internal::CaptureStderr();
  {
    TZORVAModule module(store);
    EXPECT_FALSE(module.StoreReadable());
    EXPECT_EQ(module.ClientPasswords->Count(), 0);
    EXPECT_FALSE(module.SaveAtUnload());
    module.ClientPasswords->Add(std::make_unique<TClientPassword>(Record("a", "x", "y", kMD5)));
    EXPECT_EQ(module.SaveClientPasswords(), kStoreNotWritable);
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));

  // A damaged store is read as far as it goes, silently too.
  std::string damaged = test::MakeTempDir() + "/registry.reg";
  test::WriteFileBytes(damaged, "REGEDIT4\r\nnot registry\r\n");
  testing::internal::CaptureStderr();
  { TZORVAModule module(MakeFileRegStore(damaged)); }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}
#endif

TEST(ClientPasswordStoreFailure, SaveFailuresNameTheRecordOrTheStore) {
  struct Case {
    test::TFaultyStore::TRule Fail;
    int Result;
  } cases[] = {
      {test::FailOp(test::TStoreOp::Begin), kStoreNotWritable},
      {test::FailOp(test::TStoreOp::Commit), kStoreNotWritable},
      {test::FailOp(test::TStoreOp::DeleteTree), kStoreNotWritable},
      {test::FailWritingRecord(0), 0},
      {test::FailWritingRecord(2), 2},
  };
  for (const Case& c : cases) {
    auto faulty = std::make_shared<test::TFaultyStore>();
    TZORVAModule module(faulty);
    for (const char* tag : {"a", "b", "c"})
      module.ClientPasswords->Add(std::make_unique<TClientPassword>(Record(tag, "x", "y", kMD5)));
    faulty->Fail = c.Fail;
    EXPECT_EQ(module.SaveClientPasswords(), c.Result);
    EXPECT_EQ(module.ClientPasswords->Count(), 3);  // the list is kept
    faulty->Fail = [](test::TStoreOp, const std::string&) { return false; };
    EXPECT_EQ(module.SaveClientPasswords(), kAllWritten);
  }
}

// Writes as the registry does, for stopping a save at any point: each key and
// value on its own, a tree removed one key at a time from the bottom up, and
// nothing more once the budget of changes is spent (the program was killed;
// what it wrote stays).
struct TBudget {
  int Left;
  bool Stopped = false;
  bool Spend() {
    Stopped = Stopped || Left-- == 0;
    return !Stopped;
  }
};

class TStoppingKey final : public TRegKey {
 public:
  TStoppingKey(TRegKey& inner, TBudget& budget) : Inner(&inner), Budget(budget) {}
  TStoppingKey(std::unique_ptr<TRegKey> owned, TBudget& budget)
      : Owned(std::move(owned)), Inner(Owned.get()), Budget(budget) {}

  std::unique_ptr<TRegKey> Open(std::string_view path) override { return Wrap(Inner->Open(path)); }
  std::unique_ptr<TRegKey> Create(std::string_view path) override {
    if (auto key = Inner->Open(path)) return Wrap(std::move(key));
    return Budget.Spend() ? Wrap(Inner->Create(path)) : nullptr;
  }
  uint32_t SubKeyCount() override { return Inner->SubKeyCount(); }
  std::optional<std::string> SubKeyName(uint32_t index) override { return Inner->SubKeyName(index); }
  std::optional<TRegValue> Query(std::string_view name) override { return Inner->Query(name); }
  std::optional<std::string> ValueName(uint32_t index) override { return Inner->ValueName(index); }
  bool Set(std::string_view name, const TRegValue& value) override {
    return Budget.Spend() && Inner->Set(name, value);
  }
  bool DeleteValue(std::string_view name) override {
    return Budget.Spend() && Inner->DeleteValue(name);
  }
  bool DeleteTree(std::string_view path) override {
    auto key = Open(path);
    if (!key) return true;
    while (auto name = key->SubKeyName(0))
      if (!key->DeleteTree(*name)) return false;
    return Budget.Spend() && Inner->DeleteTree(path);
  }

 private:
  std::unique_ptr<TRegKey> Wrap(std::unique_ptr<TRegKey> key) {
    return key ? std::make_unique<TStoppingKey>(std::move(key), Budget) : nullptr;
  }
  std::unique_ptr<TRegKey> Owned;
  TRegKey* Inner;
  TBudget& Budget;
};

// A save stopped at any point leaves a store whose next load gives the old
// list or the new one, whole. Also when the save that stops follows one that
// stopped, and when there was no list before.
TEST(ClientPasswordStoreFailure, ASaveStoppedAtAnyPointLoadsTheOldListOrTheNewOne) {
  auto list = [](std::initializer_list<const char*> tags) {
    TClientPasswordList records;
    for (const char* tag : tags)
      records.Add(std::make_unique<TClientPassword>(Record(tag, tag, "pw", kMD5)));
    return records;
  };
  const TClientPasswordList first = list({"a", "b", "c"}), second = list({"d", "e"}),
                            third = list({"f", "g", "h", "i"});
  // Saves `records`, stopping after `budget` changes of the store. True when
  // the save was not stopped.
  auto save = [](std::shared_ptr<TRegNode>& root, const TClientPasswordList& records,
                 int budget) {
    TMemoryRegStore memory(root);
    auto session = memory.Begin(TRegAccess::Write);
    TBudget spent{budget};
    TStoppingKey machine(session->LocalMachine(), spent);
    int result = WriteClientPasswords(machine, {}, records);
    EXPECT_TRUE(session->Commit());
    EXPECT_EQ(result == kAllWritten, !spent.Stopped);
    root = memory.Root;
    return !spent.Stopped;
  };
  auto load = [](const std::shared_ptr<TRegNode>& root) {
    TMemoryRegStore store(root);
    auto session = store.Begin(TRegAccess::Read);
    TZorvaVersions versions;
    TClientPasswordList records;
    ReadClientPasswords(session->LocalMachine(), versions, records);
    return records.Snapshot();
  };
  for (bool listBefore : {false, true}) {
    auto before = std::make_shared<TRegNode>();
    if (listBefore) {
      ASSERT_TRUE(save(before, first, -1));
    }
    const auto old = load(before);
    bool finished = false;
    for (int stop = 0; !finished; ++stop) {
      auto root = before->Clone();
      finished = save(root, second, stop);
      const auto loaded = load(root);
      ASSERT_TRUE(loaded == second.Snapshot() || (!finished && loaded == old))
          << "stopped after " << stop;
      bool finishedAgain = false;
      for (int stopAgain = 0; !finishedAgain; ++stopAgain) {
        auto again = root->Clone();
        finishedAgain = save(again, third, stopAgain);
        const auto reloaded = load(again);
        ASSERT_TRUE(reloaded == third.Snapshot() || (!finishedAgain && reloaded == loaded))
            << "stopped after " << stop << ", then after " << stopAgain;
      }
    }
  }
}

}  // namespace
}  // namespace korvel
