// The process-wide module pointer and attach counter behind the exports.
#pragma once

#include <functional>
#include <memory>

#include "ZORVAModule.h"

namespace korvel {

using TModuleFactory = std::function<std::unique_ptr<TZORVAModule>()>;

// The first attach creates the module (a factory that throws or returns null
// leaves the pointer null: every export then answers 0); the last detach
// destroys it, which saves the list.
void ZorvaProcessAttach(const TModuleFactory& make);
void ZorvaProcessDetach();
TZORVAModule* ZorvaModule();

}  // namespace korvel
