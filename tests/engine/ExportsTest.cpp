// The C exports over the process-wide module object.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <thread>

#include "ModuleInstance.h"
#include "zorva.h"
#include "MemoryStore.h"

namespace korvel {
namespace {

std::shared_ptr<test::TMemoryStore> StoreWith(const char* prompt, const char* type) {
  auto store = std::make_shared<test::TMemoryStore>();
  store->Passwords.HasList = true;
  store->Passwords.Records = {RecordFromTexts("bbs", prompt, "pw", type)};
  return store;
}

class Exports : public ::testing::Test {
 protected:
  std::shared_ptr<test::TMemoryStore> Store = StoreWith("BBS>", "MD2");
  void SetUp() override {
    ZorvaProcessAttach([this] { return std::make_unique<TZORVAModule>(Store); });
  }
  void TearDown() override {
    while (ZorvaModule()) ZorvaProcessDetach();
  }
};

TEST_F(Exports, SearchAndIsolateAnswerThroughTheModule) {
  int position = -1;
  EXPECT_EQ(ZORVASearchClientPasswordChallenge("BBS> [ 4711 ]", &position), 1);
  EXPECT_EQ(position, 0);
  char challenge[6];
  int counter = 0;
  // The rest of the text from the challenge, "4711]", fits a length of 5.
  EXPECT_EQ(ZORVAIsoltateClientPasswordChallange("BBS> [4711]", challenge, 5, 0, &counter), 1);
  EXPECT_STREQ(challenge, "4711");
  // "4711 ]" is six characters from the challenge's start: too long for 5.
  std::memcpy(challenge, "keep", 5);
  EXPECT_EQ(ZORVAIsoltateClientPasswordChallange("BBS> [ 4711 ]", challenge, 5, 0, &counter), 0);
  EXPECT_STREQ(challenge, "keep");
}

TEST_F(Exports, NullPointersGetZeroNeverACrash) {
  int position = 0;
  EXPECT_EQ(ZORVASearchClientPasswordChallenge(nullptr, &position), 0);
  EXPECT_EQ(position, -1);
  EXPECT_EQ(ZORVASearchClientPasswordChallenge("BBS>", nullptr), 0);
  char buffer[8];
  int counter = 0;
  EXPECT_EQ(ZORVAIsoltateClientPasswordChallange(nullptr, buffer, 7, 0, &counter), 0);
  EXPECT_EQ(ZORVAIsoltateClientPasswordChallange("[1]", nullptr, 7, 0, &counter), 0);
  EXPECT_EQ(ZORVAIsoltateClientPasswordChallange("[1]", buffer, 7, 0, nullptr), 0);
  EXPECT_EQ(ZORVAMakeClientPasswordReply(nullptr, buffer, 7, 0), 0);
  EXPECT_EQ(ZORVAAutoClientPasswordReply(nullptr, buffer, 7), 0);
  EXPECT_EQ(ZORVAAutoClientPasswordReply("BBS> [1]", nullptr, 7), 0);
}

TEST_F(Exports, TheModuleLivesFromFirstAttachToLastDetach) {
  ZorvaProcessAttach([]() -> std::unique_ptr<TZORVAModule> {
    ADD_FAILURE() << "a second attach must not make a second module";
    return nullptr;
  });
  TZORVAModule* module = ZorvaModule();
  ASSERT_TRUE(module);
  module->ClientPasswords->At(0).Tag = "renamed";
  ZorvaProcessDetach();
  EXPECT_EQ(ZorvaModule(), module);
  ZorvaProcessDetach();
  EXPECT_EQ(ZorvaModule(), nullptr);
  // The last detach saved the list.
  EXPECT_EQ(Store->Passwords.Records.at(0).Tag, "renamed");
  ZorvaProcessDetach();  // one detach too many changes nothing
  EXPECT_EQ(ZorvaModule(), nullptr);
  // The save at the last detach, under the system's loader lock, waited for
  // no other program's lock.
  EXPECT_EQ(Store->SavedWithWait, std::chrono::milliseconds(0));
}

// The module, which reads the store, is made at the first export call, not at
// the attach (the library's entry runs under the loader lock); a detach at
// process exit saves nothing, even a changed list.
TEST(ExportsLifetime, TheStoreIsReadAtTheFirstCallAndNotWrittenAtProcessExit) {
  auto store = StoreWith("BBS>", "MD2");
  int made = 0;
  ZorvaProcessAttach([&] {
    ++made;
    return std::make_unique<TZORVAModule>(store);
  });
  EXPECT_EQ(made, 0);
  int position = -1;
  EXPECT_EQ(ZORVASearchClientPasswordChallenge("BBS> [1]", &position), 1);
  EXPECT_EQ(ZORVASearchClientPasswordChallenge("BBS> [1]", &position), 1);
  EXPECT_EQ(made, 1);
  ZorvaModule()->ClientPasswords->At(0).Tag = "renamed";
  ZorvaProcessDetach(true);
  EXPECT_EQ(ZorvaModule(), nullptr);
  EXPECT_EQ(store->SaveCalls, 0);
}

// A process that ends inside an export (std::terminate, exit) detaches the
// library on the thread that holds the module's lock: the detach must not
// wait for it, or the process never ends.
TEST(ExportsLifetime, AProcessEndingInsideAnExportDetachesWithoutWaiting) {
  auto detached = std::make_shared<std::promise<void>>();
  ZorvaProcessAttach([detached]() -> std::unique_ptr<TZORVAModule> {
    ZorvaProcessDetach(true);  // as the system's detach at exit would, from here
    detached->set_value();
    throw std::bad_alloc();
  });
  std::future<void> done = detached->get_future();
  std::thread([] { ZorvaModule(); }).detach();
  ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready)
      << "the detach at process exit waits for the lock its own thread holds";
  EXPECT_EQ(ZorvaModule(), nullptr);  // once the thread has caught the throw
}

TEST(ExportsWithoutModule, EveryExportAnswersZeroAndTouchesNothing) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (attempt == 0)
      ZorvaProcessAttach([] { return std::unique_ptr<TZORVAModule>(); });
    else
      ZorvaProcessAttach([]() -> std::unique_ptr<TZORVAModule> { throw std::bad_alloc(); });
    ASSERT_EQ(ZorvaModule(), nullptr);
    int position = 3, counter = 3;
    char buffer[8] = "keep";
    char challenge[8] = "1 2 3";
    EXPECT_EQ(ZORVASearchClientPasswordChallenge("x", &position), 0);
    EXPECT_EQ(ZORVAIsoltateClientPasswordChallange("x", buffer, 7, 0, &counter), 0);
    EXPECT_EQ(ZORVAMakeClientPasswordReply(challenge, buffer, 7, 0), 0);
    EXPECT_EQ(ZORVAAutoClientPasswordReply("x", buffer, 7), 0);
    EXPECT_EQ(position, 3);
    EXPECT_EQ(counter, 3);
    EXPECT_STREQ(buffer, "keep");
    EXPECT_STREQ(challenge, "1 2 3");
    ZorvaProcessDetach();
  }
}

}  // namespace
}  // namespace korvel
