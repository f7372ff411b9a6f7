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

namespace {

// The terminal's settings while echo is off, for the handlers below.
termios gSavedTerminal{};

// A signal that ends korvel at the prompt must not leave the terminal without
// echo: the settings are put back, then the signal does what it would have.
extern "C" void RestoreTerminalAndRaise(int signal) {
  tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTerminal);
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(signal, &fallback, nullptr);
  raise(signal);  // delivered, with the default action, once this handler returns
}

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

bool ReadPassword(korvel::cli::TInput& in, korvel::cli::TOutput& err, std::string& password) {
  termios saved{};
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved) != 0) return in.ReadLine(password);
  gSavedTerminal = saved;
  struct sigaction restore {};
  restore.sa_handler = RestoreTerminalAndRaise;
  sigemptyset(&restore.sa_mask);
  for (int signal : kEndingSignals) sigaddset(&restore.sa_mask, signal);
  struct sigaction previous[std::size(kEndingSignals)] = {};
  for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
    sigaction(kEndingSignals[i], nullptr, &previous[i]);
    if (previous[i].sa_handler != SIG_IGN)  // nohup's ignored SIGHUP stays ignored
      sigaction(kEndingSignals[i], &restore, nullptr);
  }
  termios quiet = saved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  err << "Password: ";
  err.Flush();
  bool ok = in.ReadLine(password);
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  for (std::size_t i = 0; i < std::size(kEndingSignals); ++i)
    sigaction(kEndingSignals[i], &previous[i], nullptr);
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
