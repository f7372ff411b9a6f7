// The export files of korvel: what export writes and import reads.
#pragma once

#include <string>

#include "CommandLine.h"

namespace korvel::cli {

// An export names its number of records ("Count" in the list's key, a value
// the library ignores), so that import can tell a file cut at a record's end
// from a whole one.
inline constexpr char kCountValue[] = "Count";

// The list as the library loads it (a save that did not finish shows its
// complete copy), written out in the store's own layout.

// The client passwords of an import file, each record complete and as the
// store keeps it; anything else refuses the whole file (TFailure).
TStoredPasswords ReadImport(const std::string& path);

}  // namespace korvel::cli
