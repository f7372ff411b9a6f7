#include "ModuleInstance.h"

#include <mutex>
#include <utility>

namespace korvel {
namespace {

// Made on first use: the library's entry may run before this file's globals
// would have been constructed.
struct TInstance {
  std::mutex Guard;  // exports may come from several threads at once
  TModuleFactory Factory;
  TZORVAModule* Module = nullptr;
  bool Made = false;  // the factory ran (once per attach)
  int AttachCount = 0;
};

TInstance& Instance() {
  static TInstance instance;
  return instance;
}

}  // namespace

void ZorvaProcessAttach(const TModuleFactory& make) {
  TInstance& i = Instance();
  std::lock_guard<std::mutex> lock(i.Guard);
  if (i.AttachCount++ == 0) {
    i.Factory = make;
    i.Made = false;
  }
}

void ZorvaProcessDetach(bool processExit) {
  TInstance& i = Instance();
  std::unique_ptr<TZORVAModule> module;
  if (processExit) {
    // The lock is not taken: the system has ended the process's other
    // threads, one of which may have held it, and this thread may be ending
    // inside an export that holds it (std::terminate, exit). Nothing is saved.
    i.AttachCount = 0;
    module.reset(std::exchange(i.Module, nullptr));
    if (module) module->SaveOnUnload = false;
  } else {
    std::lock_guard<std::mutex> lock(i.Guard);
    if (i.AttachCount == 0 || --i.AttachCount > 0) return;
    i.Factory = nullptr;
    module.reset(std::exchange(i.Module, nullptr));
    // The detach runs under the system's loader lock: the save of a list
    // still changed in memory takes the store's lock only when it is free at
    // once. Every edit was saved when its dialog closed; a save left out
    // here changes nothing another program saved.
    if (module) module->NeverWaitForTheStore();
  }
  try {
    module.reset();
  } catch (...) {
  }
}

TZORVAModule* ZorvaModule() {
  TInstance& i = Instance();
  std::lock_guard<std::mutex> lock(i.Guard);
  if (i.AttachCount > 0 && !i.Made) {
    i.Made = true;
    try {
      if (i.Factory) i.Module = i.Factory().release();
    } catch (...) {
      i.Module = nullptr;
    }
  }
  return i.Module;
}

}  // namespace korvel
