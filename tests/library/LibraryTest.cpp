// The built library in processes of its own, loaded by name, against the real
// store: the file store on Linux, the Wine prefix's registry on Windows.
#include <gtest/gtest.h>

#include <cstdlib>

#include "Digest.h"
#include "ZORVAModule.h"
#include "ChildProcess.h"
#include "Records.h"
#include "TestStores.h"

namespace korvel {
namespace {

class Library : public ::testing::Test {
 protected:
  test::TStores Stores;
  std::shared_ptr<TPasswordStore> Store;

  void SetUp() override {
#ifdef _WIN32
    Stores = test::RegistryStores();
#else
    std::string path = test::MakeTempDir() + "/registry.reg";
    setenv("KORVEL_STORE", path.c_str(), 1);
    Stores = test::FileStores(path);
#endif
    Store = Stores.Passwords;
  }

  std::unique_ptr<test::TChildProcess> StartHolder() {
    std::string exe = test::ProgramDir() + "/zorva_holder";
#ifdef _WIN32
    exe += ".exe";
#endif
    auto child =
        std::make_unique<test::TChildProcess>(std::vector<std::string>{exe, ZORVA_LIBRARY});
    EXPECT_TRUE(child->Started());
    EXPECT_EQ(child->ReadLine(), "loaded");
    return child;
  }
  std::string Ask(test::TChildProcess& child, const std::string& command) {
    child.WriteLine(command);
    return child.ReadLine();
  }
  void Finish(test::TChildProcess& child) {
    child.CloseInput();
    EXPECT_EQ(child.ReadLine(), "unloaded");
    EXPECT_EQ(child.Wait(), 0);
  }
  void StoreRecords(std::vector<std::pair<std::string, std::string>> promptsAndTypes) {
    TZORVAModule module(Store);
    module.ClientPasswords->Flush();
    for (auto& [prompt, type] : promptsAndTypes)
      test::Append(*module.ClientPasswords, test::Record("tag " + prompt, prompt, "secret", type));
    ASSERT_EQ(module.SaveClientPasswords(), -1);
  }
  std::vector<TClientPassword> Stored() {
    TZORVAModule module(Store);
    return module.ClientPasswords->Snapshot();
  }
};

TEST_F(Library, ExportsAreFoundByTheirPlainNames) {
  auto holder = StartHolder();
  EXPECT_EQ(Ask(*holder, "names"),
            "ZORVAEditClientPasswordsDlg=1 ZORVASearchClientPasswordChallenge=1 "
            "ZORVAIsoltateClientPasswordChallange=1 ZORVAMakeClientPasswordReply=1 "
            "ZORVAAutoClientPasswordReply=1 ");
  Finish(*holder);
}

TEST_F(Library, RecognisesReceivedLinesFromTheStoredList) {
  StoreRecords({{"NODE}", "M5"}, {"BBS>", "MD2"}, {"Mail:", "MD5"}, {"ITA", "ITANET"}});
  auto holder = StartHolder();
  EXPECT_EQ(Ask(*holder, "search BBS> Login [ 472 ] >"), "1 1");
  EXPECT_EQ(Ask(*holder, "search nothing known here"), "0 -1");
  EXPECT_EQ(Ask(*holder, "isolate 0 NODE} 12 40 3 71 9"), "1 [12 40 3 71 9] 0");
  EXPECT_EQ(Ask(*holder, "isolate 1 BBS> Login [ 472 ] >"), "1 [472] 0");
  EXPECT_EQ(Ask(*holder, "isolate 2 Mail: <  x9q2  >"), "1 [x9q2] 0");
  EXPECT_EQ(Ask(*holder, "isolate 3 ITA 1 2 3 4 5"), "1 [] -1");
  EXPECT_EQ(Ask(*holder, "isolate 4 out of range"), "0 [] 0");
  Finish(*holder);
}

TEST_F(Library, AnswersEachTypeEndToEnd) {
  StoreRecords({{"NODE}", "M3"},
                {"BBS>", "MD2"},
                {"Mail:", "MD5"},
                {"ITA", "ITANET"},
                {"FLX", "FLEXNET"}});  // every password is "secret"
  auto holder = StartHolder();
  std::string md2 = TMD2Digest("472secret").HexDigest();
  std::string md5 = TMD5Digest("x9q2secret").HexDigest();
  EXPECT_EQ(Ask(*holder, "auto 255 NODE} 6 1 2 5"), "1 [tse]");
  EXPECT_EQ(Ask(*holder, "auto 255 BBS> Login [ 472 ] >"), "1 [" + md2 + "]");
  EXPECT_EQ(Ask(*holder, "auto 32 Mail: <  x9q2  >"), "1 [" + md5 + "]");
  EXPECT_EQ(Ask(*holder, "auto 31 Mail: <  x9q2  >"), "0 [" + std::string(32, '#') + "]");
  // "secret" weighs s=67 e=53 c=51 r=66 e=53 (character code minus 48).
  EXPECT_EQ(Ask(*holder, "auto 255 ITA 1 1 1 1 1"), "1 [290]");
  EXPECT_EQ(Ask(*holder, "auto 255 FLX 1 2 1 1 1"), "1 [131]");
  EXPECT_EQ(Ask(*holder, "auto 255 nothing stored asks this"), "0 [" + std::string(256, '#') + "]");
  EXPECT_EQ(Ask(*holder, "make 3 255 1 1 1 1 1"), "1 [290] [1]");
  EXPECT_EQ(Ask(*holder, "make 2 255 x9q2"), "1 [" + md5 + "] [x9q2]");
  EXPECT_EQ(Ask(*holder, "make -1 255 x9q2"), "0 [" + std::string(256, '#') + "] [x9q2]");
  Finish(*holder);
}

// The library reads the store at its first export call, not when it is
// loaded, and its unload writes nothing when the list did not change.
TEST_F(Library, ReadsAtTheFirstCallAndWritesNothingUnchangedAtUnload) {
  StoreRecords({{"BBS>", "md2"}});
  auto holder = StartHolder();
  StoreRecords({{"BBS>", "md2"}, {"Node:", "M4"}});  // after the load, before the first call
  EXPECT_EQ(Ask(*holder, "search Node: 1 2 3 4"), "1 1");
  Stores.EditKey(kZorvaKeyPath, [](TRegNode& key) { key.EraseValue("Build"); });
  Finish(*holder);
  TRegNode key = Stores.Key(kZorvaKeyPath);
  EXPECT_FALSE(key.Dword("Build"));
  const TRegNode* record = key.Find("ClientPasswords\\0");
  ASSERT_TRUE(record);
  EXPECT_EQ(record->Text("Type"), "MD2");
}

TEST_F(Library, UnloadKeepsAnEditSavedByAnotherProcess) {
  StoreRecords({{"BBS>", "MD2"}});
  auto desktop = StartHolder();                      // stays loaded, like the desktop program
  StoreRecords({{"BBS>", "MD2"}, {"Node:", "M4"}});  // this process edits and saves
  auto other = StartHolder();
  EXPECT_EQ(Ask(*other, "search Node: 1 2 3 4"), "1 1");  // sees the edit
  Finish(*other);
  Finish(*desktop);
  auto stored = Stored();
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[1].Challenge, "Node:");
}

}  // namespace
}  // namespace korvel
