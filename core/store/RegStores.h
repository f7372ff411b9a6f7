// The store backends behind TRegStore.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "RegKey.h"
#include "MemoryRegStore.h"

namespace korvel {

// One REGEDIT4 file. The path's links are followed, so a linked store is
// written where it really is. Sessions lock a companion file (PATH.lock):
// shared for reading, exclusive for writing. Commit writes a new file beside
// PATH, flushes it to disk and renames it over PATH, so the file is always
// either the old store or the new one, whole, with its owner and mode kept.
// A file that could not be read cleanly is copied to PATH.bad before a commit
// replaces it; a file that exists but cannot be read at all is never written.
std::unique_ptr<TRegStore> MakeFileRegStore(std::string path,
                                            std::chrono::milliseconds lockWait = kStoreLockWait);

// $KORVEL_STORE, else $XDG_CONFIG_HOME/korvel/registry.reg, else
// $HOME/.config/korvel/registry.reg (on Windows %APPDATA%\korvel\registry.reg);
// empty when none of them can be found.
std::string DefaultFileStorePath();
// The file store at DefaultFileStorePath(); null when there is no such place.
std::unique_ptr<TRegStore> MakeDefaultFileRegStore();

}  // namespace korvel
