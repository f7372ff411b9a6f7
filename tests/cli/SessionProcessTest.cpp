// korvel session as an operator meets it: the built korvel in a terminal of
// the test's own, connected to the fake node (korvel_fake_node), answering
// what the node prints; the terminal's modes, signals and exit status.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "ChildProcess.h"
#include "Digest.h"
#include "FileStore.h"
#include "TestStores.h"

namespace korvel {
namespace {

// korvel in a pseudo-terminal whose master side the test holds; the slave
// side stays open too, so that its modes can be looked at.
class TTerminalRun {
 public:
  explicit TTerminalRun(std::vector<std::string> args) {
    Master = posix_openpt(O_RDWR | O_NOCTTY);
    if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0) return;
    const std::string slaveName = ptsname(Master);
    Slave = open(slaveName.c_str(), O_RDWR | O_NOCTTY);
    tcgetattr(Slave, &Before);
    Pid = test::StartOnTerminal(slaveName, std::move(args));
  }
  ~TTerminalRun() {
    if (Pid > 0 && !Ended) {
      kill(Pid, SIGKILL);
      waitpid(Pid, nullptr, 0);
    }
    if (Slave >= 0) close(Slave);
    if (Master >= 0) close(Master);
  }

  bool Started() const { return Pid > 0 && Slave >= 0; }
  // Reads the terminal until `text` appears after what an earlier Await found.
  bool Await(const std::string& text, int milliseconds = 10000) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    std::size_t found;
    while ((found = Seen.find(text, From)) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      ReadSome(20);
    }
    From = found + text.size();
    return true;
  }
  void ReadSome(int milliseconds) {
    pollfd p{Master, POLLIN, 0};
    if (poll(&p, 1, milliseconds) <= 0) return;
    char buffer[512];
    ssize_t n = read(Master, buffer, sizeof buffer);
    if (n > 0) Seen.append(buffer, static_cast<std::size_t>(n));
  }
  void Type(const std::string& keys) {
    ASSERT_EQ(write(Master, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
  // The wait status of korvel; -1 when it did not end within 10 s.
  int Wait() {
    int status = 0;
    for (int i = 0; i < 1000; ++i) {
      ReadSome(10);  // korvel's last output must not fill the terminal
      if (waitpid(Pid, &status, WNOHANG) == Pid) {
        Ended = true;
        return status;
      }
    }
    return -1;
  }
  termios Modes() const {
    termios now{};
    tcgetattr(Slave, &now);
    return now;
  }
  bool Raw() const { return (Modes().c_lflag & (ICANON | ECHO)) == 0; }
  bool AsBefore() const {
    termios now = Modes();
    return now.c_lflag == Before.c_lflag && now.c_iflag == Before.c_iflag &&
           now.c_oflag == Before.c_oflag && now.c_cflag == Before.c_cflag;
  }
  bool AwaitRaw() {
    for (int i = 0; i < 500 && !Raw(); ++i) ReadSome(10);
    return Raw();
  }

  int Master = -1, Slave = -1;
  pid_t Pid = -1;
  termios Before{};
  std::string Seen;
  std::size_t From = 0;
  bool Ended = false;
};

int ExitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

class KorvelSession : public ::testing::Test {
 protected:
  std::string Dir = test::MakeTempDir();
  std::string StorePath = Dir + "/store.reg";

  void SetUp() override {
    TStoredPasswords stored;
    stored.Records = {
        RecordFromTexts("bpq", "NODE:DB0ABC}", "ABCDEFGHIJ", "M10", "PASSWORD %s"),
        RecordFromTexts("fbb", "DB0ABC-7>", "ABCDEFGHIJ", "M10"),
        RecordFromTexts("box", "BOX>", "secret", "MD5"),
        RecordFromTexts("jnos", "Password [", "secret", "NOSMD5"),
    };
    std::string problem;
    ASSERT_EQ(TFileStore(StorePath).Save(stored, nullptr, problem), kAllWritten) << problem;
  }
  // korvel session OPTIONS -- korvel_fake_node STEPS, a partial line
  // counting after 150 ms.
  std::vector<std::string> Session(std::vector<std::string> options,
                                   const std::vector<std::string>& steps) {
    std::vector<std::string> args = {
        test::ProgramDir() + "/korvel", "--store", StorePath, "session", "--quiet-ms", "150"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back("--");
    args.push_back(test::ProgramDir() + "/korvel_fake_node");
    args.insert(args.end(), steps.begin(), steps.end());
    return args;
  }
};

TEST_F(KorvelSession, TheKeyTypesTheOfferedReplyForEachScheme) {
  struct {
    const char* Step;
    const char* Tag;
  } cases[] = {{"bpq", "bpq"}, {"fbb", "fbb"}, {"md5", "box"}, {"jnos", "jnos"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Step);
    TTerminalRun run(Session({}, {c.Step}));
    ASSERT_TRUE(run.Started());
    EXPECT_TRUE(run.Await(std::string("Ctrl-G types the reply for ") + c.Tag + "]"));
    run.Type("\x07");
    EXPECT_TRUE(run.Await("ACCEPTED")) << run.Seen;
    EXPECT_EQ(ExitCode(run.Wait()), 0);
    EXPECT_TRUE(run.AsBefore());
  }
}

TEST_F(KorvelSession, ALapsedOfferLetsTheKeyThroughAndTheExitStatusPassesOn) {
  TTerminalRun run(Session({"--offer-ms", "300", "--key", "^E"}, {"bpq"}));
  ASSERT_TRUE(run.Started());
  EXPECT_TRUE(run.Await("Ctrl-E types the reply for bpq]"));
  usleep(400000);
  run.Type("\x05\r");  // reaches the node as a line of its own
  EXPECT_TRUE(run.Await("REJECTED")) << run.Seen;
  EXPECT_EQ(ExitCode(run.Wait()), 11);
}

TEST_F(KorvelSession, AutoTypesOnlyAfterTheOperatorTyped) {
  {  // the operator asked for the challenge: the reply, in BPQ's line, goes by itself
    TTerminalRun run(Session({"--auto"}, {"ask", "bpq", "jnos"}));
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(run.Await("Welcome"));
    run.Type("connect\r");
    EXPECT_TRUE(run.Await("typed the reply for bpq]"));
    EXPECT_TRUE(run.Await("ACCEPTED"));
    EXPECT_TRUE(run.Await("typed the reply for jnos]"));  // a prompt without line end
    EXPECT_TRUE(run.Await("ACCEPTED"));
    EXPECT_EQ(ExitCode(run.Wait()), 0) << run.Seen;
  }
  {  // a challenge nobody asked for is only offered
    TTerminalRun run(Session({"--auto"}, {"bpq"}));
    ASSERT_TRUE(run.Started());
    EXPECT_TRUE(run.Await("Ctrl-G types the reply for bpq"));
    EXPECT_FALSE(run.Await("ACCEPTED", 400));
    run.Type("no\r");
    EXPECT_TRUE(run.Await("REJECTED"));
    EXPECT_EQ(ExitCode(run.Wait()), 11);
  }
}

TEST_F(KorvelSession, TheTerminalIsRestoredAfterSigtermAndTheWindowSizePassesOn) {
  TTerminalRun run(Session({}, {"ask", "size"}));
  ASSERT_TRUE(run.Started());
  ASSERT_TRUE(run.Await("Welcome"));
  ASSERT_TRUE(run.AwaitRaw());
  winsize size{};
  size.ws_row = 33;
  size.ws_col = 99;
  ASSERT_EQ(ioctl(run.Master, TIOCSWINSZ, &size), 0);  // korvel gets SIGWINCH
  usleep(100000);
  run.Type("x\r");
  EXPECT_TRUE(run.Await("SIZE 33 99")) << run.Seen;
  TTerminalRun waiting(Session({}, {"ask"}));
  ASSERT_TRUE(waiting.Await("Welcome"));
  ASSERT_TRUE(waiting.AwaitRaw());
  kill(waiting.Pid, SIGTERM);
  int status = waiting.Wait();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  EXPECT_TRUE(waiting.AsBefore());
}

TEST_F(KorvelSession, TheLogHoldsTheReceivedTextOnly) {
  const std::string log = Dir + "/session.log";
  TTerminalRun run(Session({"--log", log}, {"md5"}));
  ASSERT_TRUE(run.Started());
  EXPECT_TRUE(run.Await("types the reply for box]"));
  run.Type("\x07");
  EXPECT_TRUE(run.Await("ACCEPTED"));
  EXPECT_EQ(ExitCode(run.Wait()), 0);
  std::ifstream file(log);
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_NE(text.str().find("BOX> [1234567890]"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("ACCEPTED"), std::string::npos);
  EXPECT_EQ(text.str().find("[korvel:"), std::string::npos) << "the status line went into the log";
  EXPECT_EQ(text.str().find(TMD5Digest("1234567890secret").HexDigest()), std::string::npos)
      << "the echo of the reply went into the log";
  EXPECT_NE(text.str().find("[reply typed by korvel]"), std::string::npos);
}

TEST_F(KorvelSession, ACommandThatCannotRunIsNamed) {
  TTerminalRun run({test::ProgramDir() + "/korvel", "--store", StorePath, "session", "--",
                    Dir + "/no-such-program"});
  ASSERT_TRUE(run.Started());
  EXPECT_TRUE(run.Await("korvel: cannot run " + Dir + "/no-such-program"));
  EXPECT_EQ(ExitCode(run.Wait()), 127);
  EXPECT_TRUE(run.AsBefore());
}

TEST_F(KorvelSession, RefusesWithoutATerminal) {
  test::TChildProcess child(Session({}, {"ask"}));
  child.CloseInput();
  EXPECT_EQ(child.Wait(), 1);
}

}  // namespace
}  // namespace korvel
#endif
