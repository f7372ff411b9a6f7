// While korvel has changed the terminal's settings (echo off at the password
// prompt, raw mode in a session), a signal that ends it must not leave the
// operator's terminal that way.
#pragma once

#include <signal.h>
#include <termios.h>

namespace korvel {

// For its lifetime, every signal that would end korvel (SIGINT, SIGTERM,
// SIGHUP, SIGQUIT, SIGUSR1, SIGALRM, SIGXFSZ, a crash ...) first puts
// `saved` back on standard input, then does what it would have done. A
// signal that was ignored stays ignored (nohup's SIGHUP); the earlier
// handlers return when the guard goes. One guard at a time.
class TTerminalGuard {
 public:
  explicit TTerminalGuard(const termios& saved);
  ~TTerminalGuard();
  TTerminalGuard(const TTerminalGuard&) = delete;
  TTerminalGuard& operator=(const TTerminalGuard&) = delete;
};

}  // namespace korvel
