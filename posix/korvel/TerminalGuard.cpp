#include "TerminalGuard.h"

#include <unistd.h>

#include <iterator>

namespace korvel {
namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
termios gSaved{};

extern "C" void RestoreAndRaise(int signal) {
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &gSaved);
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(signal, &fallback, nullptr);
  raise(signal);  // delivered, with the default action, once this handler returns
}

}  // namespace

TTerminalGuard::TTerminalGuard(const termios& saved) {
  static_assert(std::size(kEndingSignals) == kSignals);
  gSaved = saved;
  struct sigaction restore {};
  restore.sa_handler = RestoreAndRaise;
  sigemptyset(&restore.sa_mask);
  for (int signal : kEndingSignals) sigaddset(&restore.sa_mask, signal);
  for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
    sigaction(kEndingSignals[i], nullptr, &Previous[i]);
    if (Previous[i].sa_handler != SIG_IGN) sigaction(kEndingSignals[i], &restore, nullptr);
  }
}

TTerminalGuard::~TTerminalGuard() {
  for (std::size_t i = 0; i < std::size(kEndingSignals); ++i)
    sigaction(kEndingSignals[i], &Previous[i], nullptr);
}

}  // namespace korvel
