// The registry store of the Windows builds.
#pragma once

#include <chrono>
#include <memory>

#include "RegStores.h"

namespace korvel {

// HKEY_LOCAL_MACHINE through advapi32, keys opened with full access. Sessions
// hold a named mutex so that load-modify-save cycles of several processes
// take turns. A session waits at most `lockWait` for it: a reader then reads
// without it, a writer fails.
std::unique_ptr<TRegStore> MakeWin32RegStore(std::chrono::milliseconds lockWait = kStoreLockWait);

}  // namespace korvel
