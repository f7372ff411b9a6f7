// The test hook that every file step of a replacement passes through.
#include "FileIO.h"

namespace korvel::fileio {
namespace {

TFileStepHook& Hook() {
  static TFileStepHook hook;
  return hook;
}

}  // namespace

void SetFileStepHook(TFileStepHook hook) { Hook() = std::move(hook); }

bool StepAllowed(TFileStep step, const std::string& path) { return !Hook() || Hook()(step, path); }

}  // namespace korvel::fileio
