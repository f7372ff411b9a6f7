// The built korvel program as a terminal or a script meets it: a pipe of
// received lines, exit codes, and two copies editing the store at once.
#include <gtest/gtest.h>

#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#endif

#include "PasswordStore.h"
#include "ChildProcess.h"
#include "FileStore.h"
#include "Records.h"
#include "TestStores.h"

namespace korvel {
namespace {

class KorvelProgram : public ::testing::Test {
 protected:
  std::string StorePath = test::MakeTempDir() + "/store.reg";

  void SetUp() override {
#ifdef _WIN32
    test::ClearCalvek();  // korvel.exe keeps its list in the registry
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
      EXPECT_EQ(
          Korvel({"add", prefix + std::to_string(i), "--type", "md5", "--prompt", prefix}, "pw")
              .first,
          0);
  };
  std::thread first(addMany, "a");
  std::thread second(addMany, "b");
  first.join();
  second.join();
  std::string list = Korvel({"list"}).second;
  for (const char* prefix : {"a", "b"})
    for (int i = 0; i < 8; ++i)
      EXPECT_NE(list.find("\t" + std::string(prefix) + std::to_string(i) + "\t"), std::string::npos)
          << prefix << i << " is missing from\n"
          << list;
}

#ifndef _WIN32
// Runs a shell line in which $KORVEL stands for `korvel --store STORE`.
int Shell(const std::string& korvel, const std::string& line, const std::string& input = "") {
  test::TChildProcess child({"/bin/sh", "-c", "KORVEL='" + korvel + "'; " + line});
  EXPECT_TRUE(child.Started());
  if (!input.empty()) child.WriteLine(input);
  child.CloseInput();
  child.ReadAll();
  return child.Wait();
}

TEST_F(KorvelProgram, WritesThatFailAreFailures) {
  // A store larger than the 2 KiB files the shell allows below (dash counts
  // ulimit -f in blocks of 512 bytes).
  {
    TStoredPasswords stored;
    for (int i = 0; i < 12; ++i)
      stored.Records.push_back(
          RecordFromTexts("tag" + std::to_string(i), std::string(200, 'p'), "", ""));
    std::string problem;
    ASSERT_EQ(TFileStore(StorePath).Save(stored, nullptr, problem), kAllWritten) << problem;
  }
  const std::string before = test::ReadFileBytes(StorePath);
  ASSERT_GT(before.size(), 2048u);
  const std::string korvel = test::ProgramDir() + "/korvel --store " + StorePath;
  EXPECT_EQ(
      Shell(korvel, "trap '' XFSZ; ulimit -f 4; exec $KORVEL add new --type md5 --prompt N", "pw"),
      1);
  EXPECT_EQ(test::ReadFileBytes(StorePath), before);
  EXPECT_EQ(Shell(korvel, "exec $KORVEL export /dev/full"), 1);
  EXPECT_EQ(Shell(korvel, "exec $KORVEL export > /dev/full"), 1);
  EXPECT_EQ(Shell(korvel, "exec $KORVEL list > /dev/full"), 1);
  EXPECT_EQ(Shell(korvel, "exec $KORVEL export > /dev/null"), 0);
}

// Reads what the child writes to the terminal until `text` appears.
bool AwaitOutput(int master, const std::string& text) {
  std::string seen;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (seen.find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buffer[256];
    ssize_t n = read(master, buffer, sizeof buffer);
    if (n <= 0) return false;
    seen.append(buffer, static_cast<std::size_t>(n));
  }
  return true;
}

bool Echoes(int tty) {
  termios now{};
  return tcgetattr(tty, &now) == 0 && (now.c_lflag & ECHO) != 0;
}

TEST_F(KorvelProgram, CtrlCAtThePasswordPromptGivesTheTerminalItsEchoBack) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string slaveName = ptsname(master);
  int slave = open(slaveName.c_str(), O_RDWR | O_NOCTTY);  // kept open to look at its settings
  ASSERT_GE(slave, 0);
  ASSERT_TRUE(Echoes(slave));
  pid_t pid =
      test::StartOnTerminal(slaveName, Command({"add", "x", "--type", "md5", "--prompt", "P"}));
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(AwaitOutput(master, "Password:"));
  for (int i = 0; i < 200 && Echoes(slave); ++i) usleep(10000);  // echo goes off at the prompt
  EXPECT_FALSE(Echoes(slave));
  ASSERT_EQ(write(master, "\x03", 1), 1);  // Ctrl-C
  int status = 0;
  for (int i = 0; i < 1000 && waitpid(pid, &status, WNOHANG) == 0; ++i) usleep(10000);
  if (!WIFSIGNALED(status) && !WIFEXITED(status)) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
  EXPECT_TRUE(Echoes(slave));
  close(slave);
  close(master);
}
#endif

}  // namespace
}  // namespace korvel
