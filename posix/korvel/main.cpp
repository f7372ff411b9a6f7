// korvel's entry on Linux and other POSIX systems: the terminal, the
// desktop's clipboard tools and the file store, then the commands.
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "Korvel.h"
#include "FileStore.h"
#include "PosixSession.h"
#include "TerminalGuard.h"

namespace {

bool ReadPassword(korvel::cli::TInput& in, korvel::cli::TOutput& err, std::string& password) {
  termios saved{};
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved) != 0) return in.ReadLine(password);
  korvel::TTerminalGuard guard(saved);
  termios quiet = saved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  err << "Password: ";
  err.Flush();
  bool ok = in.ReadLine(password);
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  err << '\n';
  return ok;
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
  std::vector<std::string> args(argv + 1, argv + argc);
  korvel::cli::TFileInput in(stdin);
  korvel::cli::TFileOutput out(stdout), err(stderr);
  korvel::cli::TConsole console{in, out, err, ReadPassword, CopyToClipboard};
  console.IsTerminal = isatty(STDIN_FILENO) != 0;
  console.RunSession = korvel::posix::RunSession;
  std::shared_ptr<korvel::TPasswordStore> store = korvel::MakeDefaultFileStore();
  return korvel::cli::Run(args, store, console);
}
