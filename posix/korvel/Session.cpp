// korvel session's terminal on Linux and other POSIX systems: COMMAND in a
// pseudo-terminal, the operator's terminal in raw mode around it, and the
// text of both directions passed through the session's policy. Nothing in
// the loop blocks: what the connection or the terminal cannot take at once
// waits in a queue of bounded size, so that a far end that stops reading
// cannot stall the session.
#include "Session.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#if defined(__APPLE__) || defined(__FreeBSD__) || defined(__OpenBSD__) || defined(__NetBSD__)
#include <util.h>
#else
#include <pty.h>
#endif

#include <cstring>
#include <iterator>

#include "Korvel.h"
#include "PosixSession.h"
#include "SessionLog.h"
#include "SessionPolicy.h"
#include "TerminalGuard.h"
#include "Wipe.h"

namespace korvel::posix {
namespace {

// The operator's terminal as it was, and as the session sets it, for the
// signal handlers below.
termios gSaved{};
termios gRaw{};
// Written to by SIGWINCH's handler so that poll wakes up for it.
int gWakePipe[2] = {-1, -1};

// What the operator types beyond this while the connection takes nothing is
// dropped; the far end's output stops being read while this much waits for
// the operator's terminal.
constexpr std::size_t kConnectionQueueLimit = 64 * 1024;
constexpr std::size_t kTerminalQueueLimit = 256 * 1024;
// A connection that has taken nothing of a waiting queue for this long is
// stuck: the operator can then hang it up.
constexpr int64_t kStuckMs = 3000;
constexpr char kHangUpKey = 0x1D;  // Ctrl-], telnet's escape

// A stop (kill -TSTP; Ctrl-Z itself goes to COMMAND) gives the shell the
// terminal as it was; back in the foreground the session takes it again.
extern "C" void StopAndResume(int) {
  int saved = errno;
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &gSaved);
  struct sigaction stop {
  }, own{};
  stop.sa_handler = SIG_DFL;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGTSTP, &stop, &own);
  sigset_t tstp;
  sigemptyset(&tstp);
  sigaddset(&tstp, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &tstp, nullptr);
  raise(SIGTSTP);  // stops here until SIGCONT
  sigaction(SIGTSTP, &own, nullptr);
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &gRaw);
  errno = saved;
}

extern "C" void WindowChanged(int) {
  int saved = errno;
  char one = 1;
  [[maybe_unused]] ssize_t n = write(gWakePipe[1], &one, 1);
  errno = saved;
}

int64_t Now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// Writes all of `text` to a file that does not block for long (the log, a
// message); false when it cannot.
bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Bytes waiting for a file descriptor that is written only as far as it
// takes them at once.
struct TQueue {
  // Room for all it may hold, so that it never moves its bytes, which may be
  // a reply, and leaves them behind.
  TQueue(int fd, std::size_t room) : Fd(fd) { Waiting.reserve(room); }
  ~TQueue() { Wipe(Waiting); }
  TQueue(const TQueue&) = delete;
  TQueue& operator=(const TQueue&) = delete;

  int Fd;
  std::string Waiting;
  int64_t LastProgress = 0;

  // Writes what the descriptor takes now; false when it is gone.
  bool Flush(int64_t now) {
    while (!Waiting.empty()) {
      ssize_t n = write(Fd, Waiting.data(), Waiting.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
      if (n <= 0) return false;
      std::fill(Waiting.begin(), Waiting.begin() + n, '\0');  // it may hold a reply
      Waiting.erase(0, static_cast<std::size_t>(n));
      LastProgress = now;
    }
    LastProgress = now;
    return true;
  }
  void Add(std::string_view text, int64_t now) {
    if (Waiting.empty()) LastProgress = now;
    Waiting += text;
  }
};

// The operator's terminal, written without blocking: a description of its
// own, so that the shell's standard output keeps its blocking mode; standard
// output itself when it is not a terminal.
int OpenTerminalOutput() {
  if (isatty(STDOUT_FILENO)) {
    if (const char* name = ttyname(STDOUT_FILENO)) {
      int fd = open(name, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0) return fd;
    }
  }
  return STDOUT_FILENO;
}

// The log: never through a link, a regular file only, readable by its owner
// only also when it existed.
int OpenLog(const std::string& path, cli::TOutput& err) {
  int fd =
      open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  if (fd < 0) {
    const char* why = errno == ELOOP ? "it is a symbolic link" : std::strerror(errno);
    err << "korvel: cannot open the log " << path << " (" << why << ")\n";
    return -1;
  }
  struct stat st {};
  const char* problem = nullptr;
  if (fstat(fd, &st) != 0)
    problem = std::strerror(errno);
  else if (!S_ISREG(st.st_mode))
    problem = "not a regular file";
  else if (st.st_nlink > 1)
    problem = "it has other names (hard links)";
  else if (st.st_uid != geteuid())
    problem = "it belongs to another user, who could read it";
  else if ((st.st_mode & 07777) != 0600 && fchmod(fd, 0600) != 0)
    problem = "its mode cannot be made 0600";
  if (problem) {
    err << "korvel: the log " << path << " is refused (" << problem << ")\n";
    close(fd);
    return -1;
  }
  fcntl(fd, F_SETFL, O_WRONLY | O_APPEND);
  return fd;
}

// The signal handlers of the session, set for its lifetime.
class TSignals {
 public:
  TSignals() : Ending(gSaved) {
    struct sigaction winch {};
    winch.sa_handler = WindowChanged;
    sigemptyset(&winch.sa_mask);
    winch.sa_flags = SA_RESTART;
    sigaction(SIGWINCH, &winch, &PreviousWinch);
    struct sigaction stop {};
    stop.sa_handler = StopAndResume;
    sigemptyset(&stop.sa_mask);
    stop.sa_flags = SA_RESTART;
    sigaction(SIGTSTP, &stop, &PreviousStop);
    // A closed standard output is a failed write, not the end of korvel with
    // the terminal left raw.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &PreviousPipe);
    // A log past the file size limit is a failed write, not the end of korvel.
    sigaction(SIGXFSZ, &ignore, &PreviousFileSize);
  }
  ~TSignals() {
    sigaction(SIGWINCH, &PreviousWinch, nullptr);
    sigaction(SIGTSTP, &PreviousStop, nullptr);
    sigaction(SIGPIPE, &PreviousPipe, nullptr);
    sigaction(SIGXFSZ, &PreviousFileSize, nullptr);
  }

 private:
  TTerminalGuard Ending;  // the signals that end korvel
  struct sigaction PreviousWinch {};
  struct sigaction PreviousStop {};
  struct sigaction PreviousPipe {};
  struct sigaction PreviousFileSize {};
};

int ExitStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 1;
}

// While the connection is stuck, the operator's interrupt cannot reach the
// line discipline through its full input: korvel sends the signal the
// discipline would have sent, and Ctrl-] pressed twice hangs the connection
// up (COMMAND gets SIGHUP). True when the session is to end.
bool StuckKeys(std::string_view keys, int master, pid_t child, int& hangUpPresses,
               std::string& status) {
  termios slave{};
  const bool signals = tcgetattr(master, &slave) == 0 && (slave.c_lflag & ISIG);
  for (char c : keys) {
    if (signals &&
        (c == static_cast<char>(slave.c_cc[VINTR]) || c == static_cast<char>(slave.c_cc[VQUIT]))) {
      pid_t group = tcgetpgrp(master);
      kill(group > 0 ? -group : child,
           c == static_cast<char>(slave.c_cc[VINTR]) ? SIGINT : SIGQUIT);
      status += "\r\n[korvel: the connection takes no input; its programs were interrupted]\r\n";
    }
    if (c == kHangUpKey && ++hangUpPresses >= 2) {
      kill(child, SIGHUP);
      status += "\r\n[korvel: the connection was hung up]\r\n";
      return true;
    }
  }
  return false;
}

}  // namespace

int RunSession(const std::vector<std::string>& command, const cli::TSessionSettings& settings,
               TZORVAModule& module, const std::string& logPath, cli::TOutput& err) {
  cli::TSessionPolicy policy(settings, cli::SessionAnswerer(module));
  if (tcgetattr(STDIN_FILENO, &gSaved) != 0) {
    err << "korvel: session needs a terminal on standard input: it runs COMMAND inside it\n";
    return 1;
  }
  int log = -1;
  if (!logPath.empty() && (log = OpenLog(logPath, err)) < 0) return 1;
  if (pipe(gWakePipe) != 0) {
    err << "korvel: cannot make a pipe (" << std::strerror(errno) << ")\n";
    if (log >= 0) close(log);
    return 1;
  }
  for (int fd : gWakePipe) {  // COMMAND gets neither end; a full pipe never blocks the handler
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    fcntl(fd, F_SETFL, O_NONBLOCK);
  }
  winsize size{};
  bool haveSize = ioctl(STDIN_FILENO, TIOCGWINSZ, &size) == 0;
  std::vector<char*> argv;
  for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  err.Flush();
  int master = -1;
  pid_t child = forkpty(&master, nullptr, &gSaved, haveSize ? &size : nullptr);
  if (child == 0) {
    execvp(argv[0], argv.data());
    const char* why = std::strerror(errno);
    std::string message = "korvel: cannot run " + command[0] + " (" + why + ")\r\n";
    WriteAll(STDERR_FILENO, message);
    _exit(127);
  }
  if (child < 0) {
    err << "korvel: cannot make a pseudo-terminal (" << std::strerror(errno) << ")\n";
    close(gWakePipe[0]);
    close(gWakePipe[1]);
    if (log >= 0) close(log);
    return 1;
  }
  fcntl(master, F_SETFD, FD_CLOEXEC);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  cli::TSessionLog logText;
  TQueue toConnection{master, kConnectionQueueLimit};
  TQueue toTerminal{OpenTerminalOutput(), 2 * kTerminalQueueLimit};
  int status = 0;
  bool childReaped = false;
  {
    gRaw = gSaved;
    cfmakeraw(&gRaw);
    TSignals signals;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &gRaw);
    {
      cli::TSessionOutput started;  // korvel's first question to the terminal
      policy.Start(Now(), started);
      toTerminal.Add(started.ToOperator, Now());
    }
    bool operatorOpen = true;
    bool dropNoted = false, stuckNoted = false;
    int hangUpPresses = 0;
    for (;;) {
      const int64_t now = Now();
      const bool stuck =
          !toConnection.Waiting.empty() && now - toConnection.LastProgress >= kStuckMs;
      int64_t due = policy.NextDue();
      if (!toConnection.Waiting.empty() && !stuck) {
        int64_t stuckAt = toConnection.LastProgress + kStuckMs;
        if (due < 0 || stuckAt < due) due = stuckAt;
      }
      int timeout = -1;
      if (due >= 0) {
        int64_t wait = due - now;
        timeout = wait < 0 ? 0 : static_cast<int>(wait > 60000 ? 60000 : wait);
      }
      const bool readMaster = toTerminal.Waiting.size() < kTerminalQueueLimit;
      pollfd fds[4] = {{master,
                        static_cast<short>((readMaster ? POLLIN : 0) |
                                           (toConnection.Waiting.empty() ? 0 : POLLOUT)),
                        0},
                       {operatorOpen ? STDIN_FILENO : -1, POLLIN, 0},
                       {gWakePipe[0], POLLIN, 0},
                       {toTerminal.Waiting.empty() ? -1 : toTerminal.Fd, POLLOUT, 0}};
      int ready = poll(fds, 4, timeout);
      if (ready < 0 && errno != EINTR) break;
      cli::TSessionOutput out;
      char buffer[4096];
      bool ended = false;
      if (ready > 0 && (fds[2].revents & POLLIN)) {
        while (read(gWakePipe[0], buffer, sizeof buffer) > 0) {
        }
        if (ioctl(STDIN_FILENO, TIOCGWINSZ, &size) == 0) ioctl(master, TIOCSWINSZ, &size);
      }
      if (ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
        ssize_t n = read(master, buffer, sizeof buffer);
        if (n > 0) {
          // The far end's status questions are korvel's to answer.
          std::string shown = policy.Screen(std::string_view(buffer, static_cast<std::size_t>(n)), out);
          TWipeAtEnd wipeShown(shown);  // the far end's echo of a reply
          const std::string_view text = shown;
          toTerminal.Add(text, Now());
          if (log >= 0 && !WriteAll(log, logText.Add(text))) {
            const char* why = std::strerror(errno);
            out.ToOperator += "\r\n[korvel: the log cannot be written (" + std::string(why) +
                              "); it stops here]\r\n";
            close(log);
            log = -1;
          }
          policy.Received(text, Now(), out);
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
          ended = true;  // COMMAND has ended (EIO once the terminal's last holder is gone)
        }
      }
      if (ready > 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
        ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n > 0) {
          std::string_view keys(buffer, static_cast<std::size_t>(n));
          if (stuck && StuckKeys(keys, master, child, hangUpPresses, out.ToOperator)) ended = true;
          policy.Typed(keys, Now(), out);
        } else if (n == 0 || errno != EINTR) {
          operatorOpen = false;
        }
      }
      Wipe(buffer, sizeof buffer);  // the far end's echo of a reply
      policy.Tick(Now(), out);
      if (log >= 0)  // the log keeps the replies until the end, to leave them out
        for (const std::string& secret : out.Secrets) logText.Secret(secret);
      if (!out.ToConnection.empty()) {
        if (toConnection.Waiting.size() + out.ToConnection.size() <= kConnectionQueueLimit) {
          toConnection.Add(out.ToConnection, Now());
          dropNoted = false;
        } else if (!dropNoted) {
          out.ToOperator +=
              "\r\n[korvel: the connection takes no input; what you type is "
              "dropped]\r\n";
          dropNoted = true;
        }
        Wipe(out.ToConnection);
      }
      if (stuck && !stuckNoted) {
        out.ToOperator +=
            "\r\n[korvel: the connection has taken no input for a while; Ctrl-] "
            "twice hangs it up]\r\n";
        stuckNoted = true;
      }
      if (!stuck) {
        stuckNoted = false;
        hangUpPresses = 0;
      }
      toTerminal.Add(out.ToOperator, Now());
      if (!toConnection.Flush(Now())) ended = true;
      if (!toTerminal.Flush(Now())) toTerminal.Waiting.clear();  // the terminal is gone
      if (ended) break;
    }
    // The far end's last output, as far as the terminal takes it in a moment.
    for (int i = 0; i < 100 && !toTerminal.Waiting.empty(); ++i) {
      pollfd p{toTerminal.Fd, POLLOUT, 0};
      if (poll(&p, 1, 10) < 0 || !toTerminal.Flush(Now())) break;
    }
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &gSaved);
  }
  if (toTerminal.Fd != STDOUT_FILENO) close(toTerminal.Fd);
  close(master);
  // COMMAND may outlive a hang-up that it ignores: it gets a moment, then
  // SIGKILL, so that korvel never waits for ever.
  for (int i = 0; i < 200 && !childReaped; ++i) {
    pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child)
      childReaped = true;
    else if (done < 0 && errno != EINTR)
      break;
    else
      usleep(10000);
  }
  if (!childReaped) {
    kill(child, SIGKILL);
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  }
  close(gWakePipe[0]);
  close(gWakePipe[1]);
  gWakePipe[0] = gWakePipe[1] = -1;
  if (log >= 0) {
    WriteAll(log, logText.Finish());
    close(log);
  }
  return ExitStatus(status);
}

}  // namespace korvel::posix
