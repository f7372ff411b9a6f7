// korvel's entry on Linux and other POSIX systems: the terminal, the
// desktop's clipboard tools and the file store, then the commands.
#include <signal.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "Korvel.h"
#include "FileStore.h"
#include "PosixSession.h"
#include "TerminalGuard.h"
#include "Wipe.h"

namespace {

// A line of the terminal read byte by byte, past the C library's buffer of
// standard input, which would keep a copy of the password.
bool ReadTerminalLine(std::string& line) {
  line.clear();
  line.reserve(256);
  char c = 0;
  for (;;) {
    ssize_t n = read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return !line.empty();
    if (c == '\n') break;
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  korvel::Wipe(&c, 1);
  return true;
}

bool ReadPassword(korvel::cli::TInput& in, korvel::cli::TOutput& err, std::string& password) {
  termios saved{};
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved) != 0) return in.ReadLine(password);
  korvel::TTerminalGuard guard(saved);
  termios quiet = saved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  err << "Password: ";
  err.Flush();
  bool ok = ReadTerminalLine(password);
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  err << '\n';
  return ok;
}

// Every command reads the client passwords: no core dump and no debugger of
// the same user may take them from this process's memory.
void KeepMemoryPrivate() {
  rlimit none{0, 0};
  setrlimit(RLIMIT_CORE, &none);
#ifdef __linux__
  prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}

bool Have(const char* program) {
  std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// Through wl-copy on Wayland or xclip on X, whichever this desktop has.
bool CopyToClipboard(const std::string& text, korvel::cli::TOutput& err) {
  const char* command = nullptr;
  if (std::getenv("WAYLAND_DISPLAY") && Have("wl-copy"))
    command = "wl-copy";
  else if (std::getenv("DISPLAY") && Have("xclip"))
    command = "xclip -selection clipboard";
  if (!command) {
    err << "korvel: --copy needs xclip (X) or wl-copy (Wayland) and a display; "
           "the reply was not copied\n";
    return false;
  }
  FILE* pipe = popen(command, "w");
  bool ok = pipe && std::fwrite(text.data(), 1, text.size(), pipe) == text.size();
  if (pipe) ok = pclose(pipe) == 0 && ok;
  if (!ok) err << "korvel: " << command << " could not take the reply\n";
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  KeepMemoryPrivate();
  std::vector<std::string> args(argv + 1, argv + argc);
  korvel::cli::TFileInput in(stdin);
  korvel::cli::TFileOutput out(stdout), err(stderr);
  korvel::cli::TConsole console{in, out, err, ReadPassword, CopyToClipboard};
  console.IsTerminal = isatty(STDIN_FILENO) != 0;
  console.RunSession = korvel::posix::RunSession;
  std::shared_ptr<korvel::TPasswordStore> store = korvel::MakeDefaultFileStore();
  return korvel::cli::Run(args, store, console);
}
