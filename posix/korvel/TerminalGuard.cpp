#include "TerminalGuard.h"

#include <unistd.h>

#include <iterator>

namespace korvel {
namespace {

// Every signal whose default action ends the process, but SIGKILL and
// SIGSTOP, which cannot be caught.
constexpr int kEndingSignals[] = {SIGINT,
                                  SIGTERM,
                                  SIGHUP,
                                  SIGQUIT,
                                  SIGUSR1,
                                  SIGUSR2,
                                  SIGALRM,
                                  SIGVTALRM,
                                  SIGPROF,
                                  SIGXCPU,
                                  SIGXFSZ,
                                  SIGPIPE,
                                  SIGABRT,
                                  SIGSEGV,
                                  SIGBUS,
                                  SIGILL,
                                  SIGFPE,
                                  SIGSYS,
                                  SIGTRAP
#ifdef SIGPOLL
                                  ,
                                  SIGPOLL
#endif
#ifdef SIGPWR
                                  ,
                                  SIGPWR
#endif
};
constexpr int kSignalCount = static_cast<int>(std::size(kEndingSignals));
termios gSaved{};
struct sigaction gPrevious[kSignalCount] = {};

// The terminal goes back first; then the signal does what it did before
// (a sanitizer's report, the default action), delivered again once this
// handler returns.
extern "C" void RestoreAndRaise(int signal) {
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &gSaved);
  for (int i = 0; i < kSignalCount; ++i)
    if (kEndingSignals[i] == signal) sigaction(signal, &gPrevious[i], nullptr);
  raise(signal);
}

}  // namespace

TTerminalGuard::TTerminalGuard(const termios& saved) {
  gSaved = saved;
  struct sigaction restore {};
  restore.sa_handler = RestoreAndRaise;
  restore.sa_flags = SA_ONSTACK;  // on a sanitizer's own stack after a stack overflow
  sigemptyset(&restore.sa_mask);
  for (int signal : kEndingSignals) sigaddset(&restore.sa_mask, signal);
  for (int i = 0; i < kSignalCount; ++i) {
    sigaction(kEndingSignals[i], nullptr, &gPrevious[i]);
    const bool ignored =
        !(gPrevious[i].sa_flags & SA_SIGINFO) && gPrevious[i].sa_handler == SIG_IGN;
    if (!ignored) sigaction(kEndingSignals[i], &restore, nullptr);
  }
}

TTerminalGuard::~TTerminalGuard() {
  for (int i = 0; i < kSignalCount; ++i) sigaction(kEndingSignals[i], &gPrevious[i], nullptr);
}

}  // namespace korvel
