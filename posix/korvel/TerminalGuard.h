// While korvel has changed the terminal's settings (echo off at the password
// prompt, raw mode in a session), a signal that ends it must not leave the
// operator's terminal that way.
#pragma once

#include <signal.h>
#include <termios.h>

namespace korvel {

// For its lifetime, SIGINT, SIGTERM, SIGHUP and SIGQUIT first put `saved`
// back on standard input, then do what they would have done. A signal that
// was ignored stays ignored (nohup's SIGHUP); the earlier handlers return
// when the guard goes.
class TTerminalGuard {
 public:
  explicit TTerminalGuard(const termios& saved);
  ~TTerminalGuard();
  TTerminalGuard(const TTerminalGuard&) = delete;
  TTerminalGuard& operator=(const TTerminalGuard&) = delete;

 private:
  static constexpr int kSignals = 4;
  struct sigaction Previous[kSignals] = {};
};

}  // namespace korvel
