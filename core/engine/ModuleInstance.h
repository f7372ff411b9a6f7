// The process-wide module object behind the exports, and the attach counter
// of the library's entry.
#pragma once

#include <functional>
#include <memory>

#include "ZORVAModule.h"

namespace korvel {

using TModuleFactory = std::function<std::unique_ptr<TZORVAModule>()>;

// The first attach only keeps the factory: the module, which reads the
// store, is made at the first export call, so that the library's entry
// (DllMain, under the loader lock) never waits for the store's lock or reads
// the registry. A factory that throws or returns null leaves no module:
// every export then answers 0.
void ZorvaProcessAttach(const TModuleFactory& make);
// The last detach destroys the module, which saves the list if it changed
// since it was loaded or saved, taking the store's lock only when it is free
// at once. When the process is ending
// (`processExit`), the module goes at once, nothing is saved and nothing
// waited for: other threads are gone, and a lock they held, or this thread
// holds inside an export that ends the process, would never be released.
void ZorvaProcessDetach(bool processExit = false);
// The module, made on the first call after the first attach; null before
// any attach, after the last detach, or when it could not be made.
TZORVAModule* ZorvaModule();

}  // namespace korvel
