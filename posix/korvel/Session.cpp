// korvel session's terminal on Linux and other POSIX systems: COMMAND in a
// pseudo-terminal, the operator's terminal in raw mode around it, and the
// text of both directions passed through the session's watcher.
#include "Session.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
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
#include "TerminalGuard.h"

namespace korvel::posix {
namespace {

// The operator's terminal as it was, and as the session sets it, for the
// signal handlers below.
termios gSaved{};
termios gRaw{};
// Written to by SIGWINCH's handler so that poll wakes up for it.
int gWakePipe[2] = {-1, -1};

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

// Writes all of `text`; false when the other side is gone.
bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
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
  }
  ~TSignals() {
    sigaction(SIGWINCH, &PreviousWinch, nullptr);
    sigaction(SIGTSTP, &PreviousStop, nullptr);
    sigaction(SIGPIPE, &PreviousPipe, nullptr);
  }

 private:
  TTerminalGuard Ending;  // the signals that end korvel
  struct sigaction PreviousWinch {};
  struct sigaction PreviousStop {};
  struct sigaction PreviousPipe {};
};

int ExitStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 1;
}

}  // namespace

int RunSession(const std::vector<std::string>& command, cli::TSessionWatcher& watcher,
               const std::string& logPath, cli::TOutput& err) {
  if (tcgetattr(STDIN_FILENO, &gSaved) != 0) {
    err << "korvel: session needs a terminal on standard input: it runs COMMAND inside it\n";
    return 1;
  }
  int log = -1;
  if (!logPath.empty()) {
    log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (log < 0) {
      err << "korvel: cannot open the log " << logPath << " (" << std::strerror(errno) << ")\n";
      return 1;
    }
  }
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
  int status = 0;
  {
    gRaw = gSaved;
    cfmakeraw(&gRaw);
    TSignals signals;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &gRaw);
    bool operatorOpen = true;
    for (;;) {
      int64_t due = watcher.NextDue();
      int timeout = -1;
      if (due >= 0) {
        int64_t wait = due - Now();
        timeout = wait < 0 ? 0 : static_cast<int>(wait > 60000 ? 60000 : wait);
      }
      pollfd fds[3] = {{master, POLLIN, 0},
                       {operatorOpen ? STDIN_FILENO : -1, POLLIN, 0},
                       {gWakePipe[0], POLLIN, 0}};
      int ready = poll(fds, 3, timeout);
      if (ready < 0 && errno != EINTR) break;
      cli::TSessionOutput out;
      char buffer[4096];
      if (ready > 0 && (fds[2].revents & POLLIN)) {
        while (read(gWakePipe[0], buffer, sizeof buffer) > 0) {
        }
        if (ioctl(STDIN_FILENO, TIOCGWINSZ, &size) == 0) ioctl(master, TIOCSWINSZ, &size);
      }
      if (ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
        ssize_t n = read(master, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // COMMAND has ended (EIO once the terminal's last holder is gone)
        std::string_view text(buffer, static_cast<std::size_t>(n));
        WriteAll(STDOUT_FILENO, text);
        if (log >= 0) WriteAll(log, watcher.LogText(text));
        watcher.Received(text, Now(), out);
      }
      if (ready > 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
        ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n > 0)
          watcher.Typed(std::string_view(buffer, static_cast<std::size_t>(n)), Now(), out);
        else if (n == 0 || errno != EINTR)
          operatorOpen = false;
      }
      watcher.Tick(Now(), out);
      if (!out.ToOperator.empty()) WriteAll(STDOUT_FILENO, out.ToOperator);
      if (!out.ToConnection.empty() && !WriteAll(master, out.ToConnection)) break;
    }
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &gSaved);
  }
  close(master);
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  close(gWakePipe[0]);
  close(gWakePipe[1]);
  gWakePipe[0] = gWakePipe[1] = -1;
  if (log >= 0) {
    WriteAll(log, watcher.LogRest());
    close(log);
  }
  return ExitStatus(status);
}

}  // namespace korvel::posix
