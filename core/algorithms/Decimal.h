// Reading a run of decimal digits. Only the ASCII digits "0".."9" count (see
// CharClass.h). Each caller applies its own rules on top: how many digits it
// admits, what may stand around them, and what a number too large means to
// it (refused, clamped or taken modulo a power of two).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace korvel {

struct TDecimal {
  uint64_t Value = 0;      // the number modulo 2^64; 0 without digits
  bool Overflow = false;   // the number is 2^64 or more, so Value is not the number
  std::size_t Digits = 0;  // how many digits were read: the whole run, however long

  // The number, or `limit` when it is larger.
  uint64_t AtMost(uint64_t limit) const { return Overflow || Value > limit ? limit : Value; }
};

// The run of digits at the start of the text, up to its first other character.
TDecimal ReadDecimal(std::string_view text);
// The same for zero-terminated text.
TDecimal ReadDecimal(const char* text);

}  // namespace korvel
