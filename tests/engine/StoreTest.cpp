// The client passwords in the store: layout, reading rules, order, and the
// save at unload that must never revert another process's edit.
#include <gtest/gtest.h>

#include "ZORVAModule.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif
#include "Records.h"
#include "TestStores.h"

namespace korvel {
namespace {

using test::StoreKinds;
using test::TStoreKind;

using test::Record;

class ClientPasswordStore : public ::testing::TestWithParam<TStoreKind> {
 protected:
  test::TStores Stores = GetParam().Make();
  std::shared_ptr<TPasswordStore> Store = Stores.Passwords;

  // Runs `edit` on the ZORVA key as the store keeps it.
  template <typename F>
  void EditStore(F edit) {
    Stores.EditKey(kZorvaKeyPath, edit);
  }
  template <typename F>
  void ReadStore(F read) {
    TRegNode key = Stores.Key(kZorvaKeyPath);
    read(key);
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

TEST_P(ClientPasswordStore, FirstStartFindsNothingAndTheFirstSaveWritesTheDefaults) {
  {
    TZORVAModule module(Store);
    EXPECT_EQ(module.ClientPasswords->Count(), 0);
    EXPECT_EQ(module.MajorVersion, 1u);
    EXPECT_EQ(module.Build, 1u);
  }  // nothing changed: the unload writes nothing
  ReadStore([](TRegNode& key) { EXPECT_FALSE(key.Dword("MajorVersion")); });
  TZORVAModule module(Store);
  ASSERT_EQ(module.SaveClientPasswords(), kAllWritten);
  ReadStore([](TRegNode& key) {
    EXPECT_EQ(key.Dword("MajorVersion"), 1u);
    EXPECT_EQ(key.Dword("MinorVersion"), 0u);
    EXPECT_EQ(key.Dword("Build"), 1u);
    EXPECT_EQ(key.Dword("InstallationDate"), 0u);
    const TRegNode* list = key.Find("ClientPasswords");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->Keys.size(), 0u);
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
  ReadStore([&](TRegNode& key) {
    const TRegNode* list = key.Find("ClientPasswords");
    ASSERT_EQ(list->Keys.size(), 5u);
    const TRegNode* first = list->Find("0");
    ASSERT_TRUE(first);
    // Texts are written without a terminating zero; Wine's registry reports
    // them with one added, so there either form counts.
    const TRegValue* tag = first->Value("Tag");
    ASSERT_TRUE(tag);
    EXPECT_EQ(*tag, (TRegValue{kRegSz, "node"}));
    EXPECT_EQ(first->Text("Type"), "M5");
    EXPECT_EQ(list->Find("1")->Text("Type"), "MD2");
    EXPECT_EQ(list->Find("2")->Text("Type"), "MD5");
    EXPECT_EQ(list->Find("3")->Text("Type"), "ITANET");
    EXPECT_EQ(list->Find("4")->Text("Type"), "FLEXNET");
  });
}

TEST_P(ClientPasswordStore, TypeTextsAreReadByTheirFirstCharacters) {
  struct Case {
    const char* text;
    int type;
    const char* matrixLen;
  } cases[] = {{"M5", 0, "5"},    {"m7", 0, "7"},      {"M12", 0, "12"},    {"M", 0, ""},
               {"MD2", 1, ""},    {"md2", 1, ""},      {"MD", 1, ""},       {"MD5", 2, ""},
               {"mD5", 2, ""},    {"ITANET", 3, ""},   {"Ixyz", 3, ""},     {"flexnet", 4, ""},
               {"SHA", 1, ""},    {"9", 1, ""},        {"", 1, ""},         {"0M5", 5, "5"},
               {"0m12", 5, "12"}, {"0", 1, ""},        {"NOSMD5", 6, ""},   {"nosmd5", 6, ""},
               {"NOSMD", 1, ""},  {"SYDIGITS", 7, ""}, {"sydigits", 7, ""}, {"SY", 1, ""}};
  EditStore([&](TRegNode& key) {
    for (std::size_t i = 0; i < std::size(cases); ++i)
      key.Create("ClientPasswords\\" + std::to_string(i))->SetText("Type", cases[i].text);
  });
  auto loaded = Loaded();
  ASSERT_EQ(loaded.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(loaded[i].Type, cases[i].type) << cases[i].text;
    EXPECT_EQ(loaded[i].MatrixLen, cases[i].matrixLen) << cases[i].text;
  }
}

TEST_P(ClientPasswordStore, VersionValuesAreCarriedThroughLoadAndSave) {
  EditStore([](TRegNode& key) {
    key.SetDword("MajorVersion", 7);
    key.SetDword("MinorVersion", 8);
    key.SetDword("Build", 900);
    key.SetDword("InstallationDate", 0x12345678);
  });
  { TZORVAModule module(Store); }
  ReadStore([](TRegNode& key) {
    EXPECT_EQ(key.Dword("MajorVersion"), 7u);
    EXPECT_EQ(key.Dword("MinorVersion"), 8u);
    EXPECT_EQ(key.Dword("Build"), 900u);
    EXPECT_EQ(key.Dword("InstallationDate"), 0x12345678u);
  });
}

TEST_P(ClientPasswordStore, ElevenAndMoreRecordsKeepTheirSavedOrder) {
  std::vector<TClientPassword> records;
  for (int i = 0; i < 23; ++i)
    records.push_back(Record("tag" + std::to_string(i), "p" + std::to_string(i), "x", kMD5));
  StoreRecords(records);
  EXPECT_EQ(Loaded(), records);
  // Names that are not numbers come after the numbered ones.
  EditStore([](TRegNode& key) {
    key.Create("ClientPasswords\\extra")->SetText("Tag", "extra");
    key.Create("ClientPasswords\\007")->SetText("Tag", "seven again");
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
  ReadStore([](TRegNode& key) {
    const TRegNode* list = key.Find("ClientPasswords");
    EXPECT_EQ(list->Keys.size(), 2u);
    EXPECT_EQ(list->Find("1")->Text("Tag"), "c");
    EXPECT_FALSE(list->Find("2"));
  });
}

TEST_P(ClientPasswordStore, DamagedRecordsReadAsFarAsTheyGo) {
  EditStore([](TRegNode& key) {
    key.SetText("MajorVersion", "not a number");
    key.SetValue("Build", TRegValue{kRegDword, "12"});  // wrong size
    TRegNode* r0 = key.Create("ClientPasswords\\0");
    r0->SetText("Tag", "long");
    r0->SetText("String", std::string(300, 'p'));
    r0->SetValue("Challenge", TRegValue{kRegSz, std::string("with zero\0", 10)});
    TRegNode* r1 = key.Create("ClientPasswords\\1");  // no values at all
    r1->SetDword("Type", 2);                          // and a Type of the wrong type
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
  EditStore([](TRegNode& key) { key.Erase("ClientPasswords"); });
  module.LoadClientPasswords();
  EXPECT_EQ(module.ClientPasswords->Count(), 1);
}

// A registry save that did not finish leaves a complete copy of the list it
// was rewriting: loads read the copy until a save has written a whole list.
TEST_P(ClientPasswordStore, ACopyLeftByASaveThatDidNotFinishIsReadUntilTheNextSave) {
  StoreRecords({Record("torn", "", "", kMD2)});
  EditStore([](TRegNode& key) {
    TRegNode* copy = key.Create(kSavingCopyKey);
    copy->Create("0")->SetText("Tag", "before");
    copy->SetDword(kSavingCopyComplete, 1);
  });
  ASSERT_EQ(Loaded().size(), 1u);
  EXPECT_EQ(Loaded()[0].Tag, "before");
  StoreRecords({Record("after", "", "", kMD2)});
  EXPECT_EQ(Loaded()[0].Tag, "after");
  ReadStore([](TRegNode& key) { EXPECT_FALSE(key.Find(kSavingCopyKey)); });
}

TEST_P(ClientPasswordStore, ThousandsOfRecordsRoundTrip) {
  std::vector<TClientPassword> records;
  for (int i = 0; i < 3000; ++i)
    records.push_back(Record("t" + std::to_string(i), "prompt " + std::to_string(i), "pw", i % 5,
                             i % 5 == 0 ? "4" : ""));
  StoreRecords(records);
  EXPECT_EQ(Loaded(), records);
}

// The unload writes only a list that changed in memory since it was loaded
// or saved, and then only over the store it loaded or saved.
TEST_P(ClientPasswordStore, UnloadWritesOnlyAChangedList) {
  StoreRecords({Record("a", "x", "y", kMD5)});
  TZORVAModule module(Store);
  EXPECT_FALSE(module.SaveAtUnload());  // unchanged: nothing is written
  module.ClientPasswords->At(0).Tag = "changed";
  EXPECT_TRUE(module.SaveAtUnload());
  EXPECT_EQ(Loaded().at(0).Tag, "changed");
  EXPECT_FALSE(module.SaveAtUnload());  // saved: unchanged again
}

TEST_P(ClientPasswordStore, UnloadNeverRevertsAnEditSavedElsewhere) {
  StoreRecords({Record("a", "x", "y", kMD5)});
  auto longRunning = std::make_unique<TZORVAModule>(Store);     // the desktop program
  longRunning->ClientPasswords->At(0).String = "changed here";  // its unload would write
  {
    TZORVAModule editor(Store);  // another program edits and saves
    editor.ClientPasswords->Add(std::make_unique<TClientPassword>(Record("b", "z", "w", kMD2)));
    ASSERT_EQ(editor.SaveClientPasswords(), -1);
  }
  longRunning.reset();
  auto loaded = Loaded();
  ASSERT_EQ(loaded.size(), 2u);
  EXPECT_EQ(loaded[1].Tag, "b");
}

TEST_P(ClientPasswordStore, UnloadNeverRevertsVersionValuesSavedElsewhere) {
  StoreRecords({Record("a", "x", "y", kMD5)});
  auto longRunning = std::make_unique<TZORVAModule>(Store);
  longRunning->ClientPasswords->At(0).String = "changed here";
  EditStore([](TRegNode& key) { key.SetDword("Build", 77); });  // an import meanwhile
  EXPECT_FALSE(longRunning->SaveAtUnload());
  ReadStore([](TRegNode& key) { EXPECT_EQ(key.Dword("Build"), 77u); });
}

INSTANTIATE_TEST_SUITE_P(Backends, ClientPasswordStore, ::testing::ValuesIn(StoreKinds()),
                         [](const auto& info) { return info.param.Name; });

#ifndef _WIN32
// A store that is there but cannot be read is worked around, never written
// over: not at unload, not by a save; and the library prints nothing.
TEST(ClientPasswordStoreFailure, AnUnreadableStoreIsNeverWritten) {
  std::string path = test::MakeTempDir() + "/registry.reg";
  ASSERT_EQ(mkdir(path.c_str(), 0700), 0);  // what stands there cannot be read as a file
  auto store = std::make_shared<TFileStore>(path);
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
  { TZORVAModule module(std::make_shared<TFileStore>(damaged)); }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}
#endif

TEST(ClientPasswordStoreFailure, SaveFailuresNameTheRecordOrTheStore) {
  struct Case {
    bool RefuseSaves;
    int RefuseRecord;
    int Result;
  } cases[] = {{true, -1, kStoreNotWritable}, {false, 0, 0}, {false, 2, 2}};
  for (const Case& c : cases) {
    auto store = std::make_shared<test::TMemoryStore>();
    TZORVAModule module(store);
    for (const char* tag : {"a", "b", "c"})
      module.ClientPasswords->Add(std::make_unique<TClientPassword>(Record(tag, "x", "y", kMD5)));
    store->RefuseSaves = c.RefuseSaves;
    store->RefuseRecord = c.RefuseRecord;
    EXPECT_EQ(module.SaveClientPasswords(), c.Result);
    EXPECT_EQ(module.ClientPasswords->Count(), 3);  // the list is kept
    store->RefuseSaves = false;
    store->RefuseRecord = -1;
    EXPECT_EQ(module.SaveClientPasswords(), kAllWritten);
  }
}

}  // namespace
}  // namespace korvel
