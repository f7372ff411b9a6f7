#include "Decimal.h"

#include <cstring>

#include "CharClass.h"

namespace korvel {

TDecimal ReadDecimal(std::string_view text) {
  TDecimal number;
  for (; number.Digits < text.size() && IsDigit(text[number.Digits]); ++number.Digits) {
    auto digit = static_cast<uint64_t>(text[number.Digits] - '0');
    if (number.Value > (UINT64_MAX - digit) / 10) number.Overflow = true;
    number.Value = number.Value * 10 + digit;  // unsigned: wraps modulo 2^64
  }
  return number;
}

TDecimal ReadDecimal(const char* text) {
  return ReadDecimal(std::string_view(text, std::strspn(text, "0123456789")));
}

}  // namespace korvel
