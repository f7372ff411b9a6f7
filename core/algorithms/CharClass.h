// The plain ASCII character classes. Bytes above 127 belong to none of them,
// whatever the locale says.
#pragma once

#include <string_view>

namespace korvel {

constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
constexpr bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
constexpr bool IsAlpha(char c) { return IsUpper(c) || IsLower(c); }
constexpr bool IsAlnum(char c) { return IsAlpha(c) || IsDigit(c); }
constexpr bool IsXDigit(char c) {
  return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
// Printable characters other than letters, digits and the space.
constexpr bool IsPunct(char c) { return c > ' ' && c < 127 && !IsAlnum(c); }

constexpr char ToUpper(char c) { return IsLower(c) ? static_cast<char>(c - 'a' + 'A') : c; }
// Equal but for the letter case of ASCII letters (how TAGs, key names and
// answers compare).
constexpr bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (ToUpper(a[i]) != ToUpper(b[i])) return false;
  return true;
}

}  // namespace korvel
