// korvel's entry: the platform's terminal and clipboard, then the commands.
#include <cstdio>
#include <iostream>

#include "Korvel.h"
#include "registry/RegStores.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstring>
#else
#include <signal.h>
#include <termios.h>
#include <unistd.h>
#include <cstdlib>
#include <iterator>
#endif

namespace {

bool ReadLine(std::istream& in, std::string& line) {
  if (!std::getline(in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

#ifdef _WIN32

bool ReadPassword(std::istream& in, std::ostream& err, std::string& password) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(input, &mode)) return ReadLine(in, password);  // not a console
  err << "Password: " << std::flush;
  SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  bool ok = ReadLine(in, password);
  SetConsoleMode(input, mode);
  err << '\n';
  return ok;
}

bool CopyToClipboard(const std::string& text, std::ostream& err) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  void* memory = block ? GlobalLock(block) : nullptr;
  if (memory) {
    std::memcpy(memory, text.c_str(), text.size() + 1);
    GlobalUnlock(block);
    if (OpenClipboard(nullptr)) {
      EmptyClipboard();
      bool ok = SetClipboardData(CF_TEXT, block) != nullptr;
      CloseClipboard();
      if (ok) return true;
    }
  }
  if (block) GlobalFree(block);
  err << "korvel: the reply could not be put on the clipboard\n";
  return false;
}

#else

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

bool ReadPassword(std::istream& in, std::ostream& err, std::string& password) {
  termios saved{};
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved) != 0) return ReadLine(in, password);
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
  err << "Password: " << std::flush;
  bool ok = ReadLine(in, password);
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
bool CopyToClipboard(const std::string& text, std::ostream& err) {
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

#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // Bytes pass as they are, as on Linux: in text mode the C library would
  // turn the CR LF of an export into CR CR LF and end piped input at its
  // first Ctrl-Z. Typed input keeps text mode, where Ctrl-Z is the key that
  // ends it.
  _setmode(_fileno(stdout), _O_BINARY);
  if (GetFileType(GetStdHandle(STD_INPUT_HANDLE)) != FILE_TYPE_CHAR)
    _setmode(_fileno(stdin), _O_BINARY);
#endif
  std::vector<std::string> args(argv + 1, argv + argc);
  korvel::cli::TConsole console{std::cin, std::cout, std::cerr, ReadPassword, CopyToClipboard};
  std::shared_ptr<korvel::TRegStore> store = korvel::MakeDefaultRegStore();
  return korvel::cli::Run(args, store, console);
}
