// The one process-wide random generator of the matrix wildcards and group
// picks. It is seeded once, from the operating system's randomness, so no two
// runs draw the same sequence.
#pragma once

#include <cstdint>

namespace korvel {

// A non-negative random number (31 bits).
uint32_t NextRandom();

}  // namespace korvel
