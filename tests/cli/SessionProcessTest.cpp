// korvel session as an operator meets it: the built korvel in a terminal of
// the test's own, connected to the fake node (korvel_fake_node), answering
// what the node prints; the terminal's modes, signals and exit status; and a
// hostile far end that tries to turn korvel against its operator.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <thread>

#include "ChildProcess.h"
#include "Digest.h"
#include "FileStore.h"
#include "SessionPolicy.h"
#include "TestStores.h"

namespace korvel {
namespace {

void Sleep(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// korvel in a pseudo-terminal whose master side the test holds, as a
// terminal emulator would: it answers the queries a far end may print (the
// device attributes, the background colour, the cursor position) on
// korvel's input. The slave side stays open too, so that its modes can be
// looked at.
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
    char buffer[4096];
    ssize_t n = read(Master, buffer, sizeof buffer);
    if (n > 0) Seen.append(buffer, static_cast<std::size_t>(n));
    AnswerQueries();
  }
  // Types `keys`, waiting at most 2 s for korvel to read them (a korvel
  // that stopped reading fails the test rather than stalling it).
  void Type(const std::string& keys) {
    std::string_view left = keys;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!left.empty() && std::chrono::steady_clock::now() < deadline) {
      pollfd p{Master, POLLOUT, 0};
      if (poll(&p, 1, 20) <= 0) {
        ReadSome(0);
        continue;
      }
      ssize_t n = write(Master, left.data(), left.size());
      if (n > 0) left.remove_prefix(static_cast<std::size_t>(n));
    }
    ASSERT_TRUE(left.empty()) << "korvel reads no input";
  }
  // Types `line` again and again for `milliseconds`, as far as korvel reads
  // it, never waiting for korvel; how many bytes went in.
  std::size_t Flood(const std::string& line, int milliseconds) {
    const int flags = fcntl(Master, F_GETFL);
    fcntl(Master, F_SETFL, flags | O_NONBLOCK);
    std::size_t typed = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
      ssize_t n = write(Master, line.data(), line.size());
      if (n > 0) typed += static_cast<std::size_t>(n);
      ReadSome(n > 0 ? 0 : 10);
    }
    fcntl(Master, F_SETFL, flags);
    return typed;
  }
  // Presses `key` once the screen has not changed for 0.6 s: an offer then
  // has stood long enough to be read.
  void PressWhenShown(const std::string& key) {
    for (std::size_t seen = Seen.size();; seen = Seen.size()) {
      ReadSome(600);
      if (Seen.size() == seen) break;
    }
    Type(key);
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

 private:
  void AnswerQueries() {
    static const std::pair<const char*, const char*> kQueries[] = {
        {"\x1b[c", "\x1b[?1;2c"},
        {"\x1b[5n", "\x1b[0n"},
        {"\x1b]11;?\x07", "\x1b]11;rgb:0000/0000/0000\x07"},
        {"\x1b[6n", "\x1b[5;1R"}};
    for (const auto& [query, report] : kQueries)
      for (std::size_t at = Seen.find(query, Answered); at != std::string::npos;
           at = Seen.find(query, at + 1))
        if (AnsweredAt.insert(at).second) Type(report);
    Answered = Seen.size() > 8 ? Seen.size() - 8 : 0;  // a query cut between two reads
  }
  std::size_t Answered = 0;
  std::set<std::size_t> AnsweredAt;  // each query is answered once
};

int ExitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

const std::string G = "\x07";

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
        RecordFromTexts("nodea", "GB7AAA:G8ABC}", "ABCDEFGHIJKLMNOPQRST", "M5", "PASSWORD %s"),
        RecordFromTexts("fsy", ")", "54321", "SYDIGITS"),
        // A DX cluster: no prompt, so any line with numbers reads as its challenge.
        RecordFromTexts("dx", "", "ABCDEFGHIJ", "0M5"),
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
    const char* Offer;
  } cases[] = {{"bpq", "bpq, prompt \"NODE:DB0ABC}\""},
               {"fbb", "fbb, prompt \"DB0ABC-7>\""},
               {"md5", "box, prompt \"BOX>\""},
               {"jnos", "jnos, prompt \"Password [\""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Step);
    TTerminalRun run(Session({}, {c.Step}));
    ASSERT_TRUE(run.Started());
    EXPECT_TRUE(run.Await(std::string("Ctrl-G types the reply for ") + c.Offer + "]"));
    run.PressWhenShown(G);
    EXPECT_TRUE(run.Await("ACCEPTED")) << run.Seen;
    EXPECT_EQ(ExitCode(run.Wait()), 0);
    EXPECT_TRUE(run.AsBefore());
  }
}

TEST_F(KorvelSession, ALapsedOfferLetsTheKeyThroughAndTheExitStatusPassesOn) {
  TTerminalRun run(Session({"--offer-ms", "300", "--key", "^E"}, {"bpq"}));
  ASSERT_TRUE(run.Started());
  EXPECT_TRUE(run.Await("Ctrl-E types the reply for bpq"));
  Sleep(400);
  run.Type("\x05\r");  // reaches the node as a line of its own
  EXPECT_TRUE(run.Await("REJECTED")) << run.Seen;
  EXPECT_EQ(ExitCode(run.Wait()), 11);
}

TEST_F(KorvelSession, AutoTypesWhatTheOperatorAskedFor) {
  {  // a connect line asks for a login challenge, BPQ's line and JNOS's prompt
    TTerminalRun run(Session({"--auto"}, {"ask", "bpq", "ask", "jnos"}));
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(run.Await("Welcome"));
    run.Type("connect\r");
    EXPECT_TRUE(run.Await("typed the reply for bpq]"));
    EXPECT_TRUE(run.Await("ACCEPTED"));
    run.Type("c db0abc\r");
    EXPECT_TRUE(run.Await("typed the reply for jnos]"));  // a prompt without line end
    EXPECT_TRUE(run.Await("ACCEPTED"));
    EXPECT_EQ(ExitCode(run.Wait()), 0) << run.Seen;
  }
  {  // a challenge nobody asked for is only offered
    TTerminalRun run(Session({"--auto", "--asked-ms", "200"}, {"pause", "bpq"}));
    ASSERT_TRUE(run.Started());
    EXPECT_TRUE(run.Await("Ctrl-G types the reply for bpq"));
    EXPECT_TRUE(run.Await("not asked for"));
    EXPECT_FALSE(run.Await("ACCEPTED", 400));
    run.Type("no\r");
    EXPECT_TRUE(run.Await("REJECTED"));
    EXPECT_EQ(ExitCode(run.Wait()), 11);
  }
}

// Each attack a hostile far end tried: the node's steps, what the operator
// does, what must follow on the screen in this order, and what must never be
// there. The node prints what korvel gave it (GOT, LEARNED, UNANSWERED).
struct TAttack {
  const char* Name;
  std::vector<std::string> Options;
  std::vector<std::string> Steps;
  std::function<void(TTerminalRun&)> Operator;
  std::vector<std::string> Expect;
  std::vector<std::string> Never;
};

void PrintTo(const TAttack& attack, std::ostream* out) { *out << attack.Name; }

const TAttack kAttacks[] = {
    {"HarvestAfterTheLoginWindowLearnsNothing",
     {"--auto", "--asked-ms", "300"},
     {"pause", "ask", "harvest"},
     [](TTerminalRun& run) { run.Type("nodes\r"); },
     {"UNANSWERED", "LEARNED 0"},
     {"GOT PASSWORD"}},
    {"HarvestInTheLoginWindowGetsOneAnswer", {"--auto"}, {"harvest"}, nullptr, {"LEARNED 5"}, {}},
    {"HarvestAfterSysGetsOneAnswer",
     {"--auto", "--asked-ms", "400"},
     {"pause", "ask", "harvest"},
     [](TTerminalRun& run) {
       Sleep(500);
       run.Type("sys\r");
     },
     {"LEARNED 5"},
     {}},
    {"FlexNetHarvestAfterTheLoginWindowLearnsNothing",
     {"--auto", "--asked-ms", "300"},
     {"pause", "ask", "flexharvest"},
     [](TTerminalRun& run) { run.Type("nodes\r"); },
     {"UNANSWERED", "LEARNED 0"},
     {"GOT"}},
    {"ADeviceAttributesReportIsNoTyping",
     {"--auto", "--asked-ms", "200"},
     {"pause", "da"},
     nullptr,
     {"not asked for", "UNANSWERED"},
     {"GOT PASSWORD"}},
    {"AColourReportEndingInBelIsNotTheKey",
     {},
     {"osc"},
     nullptr,
     {"types the reply for bpq", "UNANSWERED"},
     {"GOT PASSWORD"}},
    {"ASwappedOfferIsNotTypedBeforeItIsSeen",
     {},
     {"swap"},
     [](TTerminalRun& run) {
       ASSERT_TRUE(run.Await("DB0ABC-7> 2 4 6 8 10"));
       run.Type(G);
     },
     {"UNANSWERED"},
     {"GOT"}},
    {"APaintedOfferIsDrawnOverAndTheKeySwallowed",
     {},
     {"paint"},
     [](TTerminalRun& run) {
       ASSERT_TRUE(run.Await("[korvel: Ctrl-G types the reply for bbs]"));
       run.Type(G);
     },
     {std::string(cli::kPlainText) +
          "\r\n[korvel: Ctrl-G types the reply for bpq, prompt \"NODE:DB0ABC}\"]",
      "UNANSWERED"},
     {"GOT"}},
    {"AnEmptyPromptAnswersNoBanner",
     {"--auto"},
     {"ask", "banner"},
     [](TTerminalRun& run) { run.Type("connect\r"); },
     {"UNANSWERED"},
     {"reply for dx", "GOT"}},
    {"NothingIsTypedIntoAHalfTypedLine",
     {"--auto"},
     {"pause", "bpq"},
     [](TTerminalRun& run) {
       run.Type("c gb7ccc");
       ASSERT_TRUE(run.Await("half-typed line"));
       run.Type("\r");
     },
     {"REJECTED c gb7ccc\r"},
     {"gb7cccPASSWORD"}},
    {"ASplitChallengeIsAnsweredOnceWhole",
     {"--auto"},
     {"ask", "split"},
     [](TTerminalRun& run) { run.Type("sys\r"); },
     {"GOT PASSWORD ACEGI\r"},
     {"GOT PASSWORD AC\r"}},
};

class KorvelSessionAttack : public KorvelSession, public ::testing::WithParamInterface<TAttack> {};

TEST_P(KorvelSessionAttack, GivesTheFarEndNothingTheOperatorDidNotChoose) {
  const TAttack& attack = GetParam();
  TTerminalRun run(Session(attack.Options, attack.Steps));
  ASSERT_TRUE(run.Started());
  ASSERT_TRUE(run.Await("Welcome"));
  if (attack.Operator) attack.Operator(run);
  for (const std::string& text : attack.Expect)
    EXPECT_TRUE(run.Await(text, 6000)) << "no " << ::testing::PrintToString(text) << " in\n"
                                       << run.Seen;
  run.Wait();
  for (const std::string& text : attack.Never)
    EXPECT_EQ(run.Seen.find(text), std::string::npos) << text << " in\n" << run.Seen;
  EXPECT_TRUE(run.AsBefore());
}

INSTANTIATE_TEST_SUITE_P(Attacks, KorvelSessionAttack, ::testing::ValuesIn(kAttacks),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(KorvelSession, KeysThatTypingOrAReportSendsAreRefused) {
  for (const char* key : {"s", "R", "^["}) {
    TTerminalRun run(Session({"--key", key}, {"bpq"}));
    ASSERT_TRUE(run.Started());
    EXPECT_TRUE(run.Await("korvel: --key takes a control key"));
    EXPECT_EQ(ExitCode(run.Wait()), 2) << key;
  }
}

// A node that reads nothing more: its output goes on, what the operator
// types waits or is dropped, and the operator's interrupt still reaches it.
TEST_F(KorvelSession, ANodeThatStopsReadingCannotStallKorvel) {
  TTerminalRun run(Session({}, {"deaf"}));
  ASSERT_TRUE(run.Started());
  ASSERT_TRUE(run.Await("TICK 1"));
  run.Flood("xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\r", 1500);
  const std::size_t ticks = run.Seen.rfind("TICK");
  Sleep(300);
  run.ReadSome(100);
  EXPECT_NE(run.Seen.find("TICK", ticks + 1), std::string::npos) << "the node's output stopped";
  EXPECT_TRUE(run.Await("Ctrl-] twice hangs it up", 8000))
      << run.Seen.substr(run.Seen.size() - 300);
  run.Type("\x03");
  int status = run.Wait();
  EXPECT_EQ(ExitCode(status), 128 + SIGINT) << status;
  EXPECT_TRUE(run.AsBefore());
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
  Sleep(100);
  run.Type("x\r");
  EXPECT_TRUE(run.Await("SIZE 33 99")) << run.Seen;
  // Every signal that ends a program leaves the terminal as it was.
  for (int signal : {SIGTERM, SIGHUP, SIGUSR1, SIGALRM}) {
    SCOPED_TRACE(strsignal(signal));
    TTerminalRun waiting(Session({}, {"ask"}));
    ASSERT_TRUE(waiting.Await("Welcome"));
    ASSERT_TRUE(waiting.AwaitRaw());
    kill(waiting.Pid, signal);
    int status = waiting.Wait();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_TRUE(waiting.AsBefore());
  }
}

// The log holds the received text only: never a reply korvel typed, not
// even echoed inside a longer line; control characters escaped; opened
// never through a link, and readable by its owner only.
TEST_F(KorvelSession, TheLogHoldsTheReceivedTextSafely) {
  const std::string log = Dir + "/session.log";
  {
    std::ofstream existing(log);
    existing << "earlier\n";
  }
  chmod(log.c_str(), 0644);
  TTerminalRun run(Session({"--log", log}, {"md5", "echo"}));
  ASSERT_TRUE(run.Started());
  EXPECT_TRUE(run.Await("types the reply for box"));
  run.PressWhenShown(G);
  EXPECT_TRUE(run.Await("ACCEPTED"));
  EXPECT_TRUE(run.Await("types the reply for bpq")) << ::testing::PrintToString(run.Seen);
  run.PressWhenShown(G);
  EXPECT_TRUE(run.Await("you said:"));
  EXPECT_EQ(ExitCode(run.Wait()), 0);
  const std::string text = test::ReadFileBytes(log);
  EXPECT_EQ(text.rfind("earlier\n", 0), 0u);
  EXPECT_NE(text.find("BOX> [1234567890]\n"), std::string::npos) << text;
  EXPECT_NE(text.find("ACCEPTED"), std::string::npos);
  EXPECT_EQ(text.find("[korvel:"), std::string::npos) << "the status line went into the log";
  EXPECT_EQ(text.find(TMD5Digest("1234567890secret").HexDigest()), std::string::npos) << text;
  EXPECT_EQ(text.find("ACEGI"), std::string::npos) << "the echoed reply went into the log";
  EXPECT_NE(text.find("you said: [reply typed by korvel]"), std::string::npos) << text;
  EXPECT_EQ(text.find('\x1b'), std::string::npos) << "a terminal sequence went into the log";
  EXPECT_NE(text.find("\\x1B]52;c;SGVsbG8=\\x07"), std::string::npos) << text;
  struct stat st {};
  ASSERT_EQ(stat(log.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);

  const std::string target = Dir + "/target", link = Dir + "/link.log";
  {
    std::ofstream other(target);
    other << "keep\n";
  }
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  TTerminalRun linked(Session({"--log", link}, {"md5"}));
  ASSERT_TRUE(linked.Started());
  EXPECT_TRUE(linked.Await("cannot open the log " + link + " (it is a symbolic link)"));
  EXPECT_EQ(ExitCode(linked.Wait()), 1);
  EXPECT_EQ(test::ReadFileBytes(target), "keep\n");

  // A file with another name, or another owner, is one someone else may read.
  const std::string hard = Dir + "/hard.log", owned = Dir + "/owned.log";
  ASSERT_EQ(::link(target.c_str(), hard.c_str()), 0);
  std::vector<std::pair<std::string, std::string>> refused = {
      {hard, "it has other names (hard links)"}};
  if (geteuid() == 0) {
    std::ofstream(owned) << "keep\n";
    ASSERT_EQ(chown(owned.c_str(), 65534, 65534), 0);
    refused.push_back({owned, "it belongs to another user, who could read it"});
  }
  for (const auto& [path, why] : refused) {
    TTerminalRun run(Session({"--log", path}, {"md5"}));
    ASSERT_TRUE(run.Started());
    EXPECT_TRUE(run.Await("the log " + path + " is refused (" + why + ")")) << run.Seen;
    EXPECT_EQ(ExitCode(run.Wait()), 1);
    EXPECT_EQ(test::ReadFileBytes(path), "keep\n");
  }
}

// The password and the replies stay out of core dumps, and a reply korvel
// typed is not left in its memory once the node has it.
TEST_F(KorvelSession, SecretsStayOutOfDumpsAndMemory) {
  TTerminalRun run(Session({}, {"bpq", "ask"}));
  ASSERT_TRUE(run.Started());
  EXPECT_TRUE(run.Await("types the reply for bpq"));
  run.PressWhenShown(G);
  ASSERT_TRUE(run.Await("ACCEPTED")) << ::testing::PrintToString(run.Seen);
  Sleep(200);
  std::ifstream limits("/proc/" + std::to_string(run.Pid) + "/limits");
  std::string line, soft, hard;
  while (std::getline(limits, line))
    if (line.rfind("Max core file size", 0) == 0)
      std::istringstream(line.substr(std::string("Max core file size").size())) >> soft >> hard;
  EXPECT_EQ(soft + " " + hard, "0 0");
  std::ifstream maps("/proc/" + std::to_string(run.Pid) + "/maps");
  std::ifstream memory("/proc/" + std::to_string(run.Pid) + "/mem", std::ios::binary);
  if (!memory) GTEST_SKIP() << "korvel's memory cannot be read here (it is not dumpable)";
  // Every writable mapping but the sanitizers' shadow (terabytes, mostly
  // never touched), a megabyte at a time, overlapping by the reply's length.
  std::size_t scanned = 0;
  constexpr std::size_t kChunk = 1 << 20, kOverlap = 16;
  std::string bytes(kChunk + kOverlap, '\0');
  while (std::getline(maps, line)) {
    unsigned long start = 0, end = 0;
    char perms[5] = {};
    if (std::sscanf(line.c_str(), "%lx-%lx %4s", &start, &end, perms) != 3 || perms[0] != 'r' ||
        perms[1] != 'w' || end - start > (1ul << 30))
      continue;
    for (unsigned long at = start; at < end; at += kChunk) {
      const std::size_t size = std::min<std::size_t>(kChunk + kOverlap, end - at);
      memory.clear();
      memory.seekg(static_cast<std::streamoff>(at));
      if (!memory.read(bytes.data(), static_cast<std::streamsize>(size))) continue;
      scanned += size;
      EXPECT_EQ(std::string_view(bytes.data(), size).find("ACEGI"), std::string::npos)
          << "a reply stays in " << line;
    }
  }
  EXPECT_GT(scanned, 0u);
  run.Type("bye\r");
  EXPECT_EQ(ExitCode(run.Wait()), 0);
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
