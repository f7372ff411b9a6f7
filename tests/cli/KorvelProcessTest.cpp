// The built korvel program as a terminal or a script meets it: a pipe of
// received lines, exit codes, and two copies editing the store at once.
#include <gtest/gtest.h>

#include <thread>

#include "support/ChildProcess.h"
#include "registry/RegStores.h"
#include "support/TestStores.h"

namespace korvel {
namespace {

class KorvelProgram : public ::testing::Test {
 protected:
  std::string StorePath = test::MakeTempDir() + "/store.reg";

  void SetUp() override {
#ifdef _WIN32
    test::ClearCalvek(*MakeWin32RegStore());  // korvel.exe keeps its list in the registry
#endif
  }
  std::vector<std::string> Command(std::vector<std::string> args) {
#ifdef _WIN32
    args.insert(args.begin(), test::ProgramDir() + "\\korvel.exe");
#else
    args.insert(args.begin(), {test::ProgramDir() + "/korvel", "--store", StorePath});
#endif
    return args;
  }
  // Runs korvel with `input` on its standard input; its output and exit code.
  std::pair<int, std::string> Korvel(std::vector<std::string> args, const std::string& input = "") {
    test::TChildProcess child(Command(std::move(args)));
    EXPECT_TRUE(child.Started());
    if (!input.empty()) child.WriteLine(input);
    child.CloseInput();
    std::string out = child.ReadAll();
    int code = child.Wait();
    return {code, out};
  }
};

TEST_F(KorvelProgram, APipeOfReceivedLinesGetsOneAnswerLineEach) {
  ASSERT_EQ(Korvel({"add", "ita", "--type", "itanet", "--prompt", "ITA>"}, "11111").first, 0);
  test::TChildProcess filter(Command({"reply"}));
  // Each answer arrives before the next question is asked: the output is flushed.
  filter.WriteLine("ITA> 1 2 3 4 5");
  EXPECT_EQ(filter.ReadLine(), "15");
  filter.WriteLine("nothing to answer");
  EXPECT_EQ(filter.ReadLine(), "");
  filter.WriteLine("ITA> 1 1 1 1 1");
  EXPECT_EQ(filter.ReadLine(), "5");
  filter.CloseInput();
  EXPECT_EQ(filter.Wait(), 0);
}

TEST_F(KorvelProgram, ExitCodesTellFailureFromMisuse) {
  EXPECT_EQ(Korvel({"reply", "nobody asks this"}).first, 1);
  EXPECT_EQ(Korvel({"no-such-command"}).first, 2);
  EXPECT_EQ(Korvel({"--version"}), (std::pair<int, std::string>{0, "korvel 3.0\n"}));
}

TEST_F(KorvelProgram, TwoCopiesEditingAtOnceLoseNoEdit) {
  auto addMany = [&](const std::string& prefix) {
    for (int i = 0; i < 8; ++i)
      EXPECT_EQ(Korvel({"add", prefix + std::to_string(i), "--type", "md5", "--prompt", prefix}, "pw").first, 0);
  };
  std::thread first(addMany, "a");
  std::thread second(addMany, "b");
  first.join();
  second.join();
  std::string list = Korvel({"list"}).second;
  for (const char* prefix : {"a", "b"})
    for (int i = 0; i < 8; ++i)
      EXPECT_NE(list.find("\t" + std::string(prefix) + std::to_string(i) + "\t"), std::string::npos)
          << prefix << i << " is missing from\n" << list;
}

}  // namespace
}  // namespace korvel
