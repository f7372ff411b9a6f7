// The test hook that every file step of a replacement passes through, and
// the bounded wait for a lock that both platforms share.
#include "FileIO.h"

#include <thread>

namespace korvel::fileio {
namespace {

TFileStepHook& Hook() {
  static TFileStepHook hook;
  return hook;
}

}  // namespace

void SetFileStepHook(TFileStepHook hook) { Hook() = std::move(hook); }

bool StepAllowed(TFileStep step, const std::string& path) { return !Hook() || Hook()(step, path); }

TLockTry TryLockFor(std::chrono::milliseconds wait, const std::function<TLockTry()>& attempt) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    TLockTry result = attempt();
    if (result != TLockTry::Held || std::chrono::steady_clock::now() >= deadline) return result;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string HeldBy(const std::string& lockPath) {
  return "another program holds the lock " + lockPath;
}

}  // namespace korvel::fileio
