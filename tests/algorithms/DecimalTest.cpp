// The decimal reader every number of the program goes through: where a run
// ends, and the overflow at 2^64 that the callers' limits rely on.
#include <gtest/gtest.h>

#include <string>

#include "Decimal.h"

namespace korvel {
namespace {

TEST(Decimal, ReadsTheRunAtTheStartModulo2To64) {
  struct Case {
    const char* Text;
    uint64_t Value;
    bool Overflow;
    std::size_t Digits;
  } cases[] = {
      {"", 0, false, 0},
      {"x12", 0, false, 0},  // a non-digit first: no number
      {"007 8", 7, false, 3},
      {"\xB9"
       "1",
       0, false, 0},  // a byte above 127 is no digit, whatever the locale
      {"18446744073709551615", UINT64_MAX, false, 20},  // 2^64 - 1 still fits
      {"18446744073709551616x", 0, true, 20},           // 2^64 does not
      {"99999999999999999999", 7766279631452241919u, true, 20},
      {"9999999999999999999999999999999999999999", 13399722918938673151u, true, 40},
  };
  for (const Case& c : cases) {
    for (TDecimal n : {ReadDecimal(std::string_view(c.Text)), ReadDecimal(c.Text)}) {
      EXPECT_EQ(n.Value, c.Value) << c.Text;
      EXPECT_EQ(n.Overflow, c.Overflow) << c.Text;
      EXPECT_EQ(n.Digits, c.Digits) << c.Text;
    }
  }
  EXPECT_EQ(ReadDecimal(std::string_view("1234", 2)).Value, 12u);  // the view's end ends it
}

TEST(Decimal, AtMostClampsOverflowedNumbersWhateverTheirLowBits) {
  EXPECT_EQ(ReadDecimal("2147483647").AtMost(INT32_MAX), 2147483647u);
  EXPECT_EQ(ReadDecimal("2147483648").AtMost(INT32_MAX), 2147483647u);
  EXPECT_EQ(ReadDecimal("18446744073709551616").AtMost(INT32_MAX), 2147483647u);  // Value 0
}

}  // namespace
}  // namespace korvel
