// How many numbers of a challenge a record answers.
#pragma once

#include <cstdint>
#include <string>

namespace korvel {

// ITANET and FLEXNET challenges have five numbers.
inline constexpr int32_t kWeightedSumNumbers = 5;

// The matrix length as a decimal number: leading blanks and a sign allowed,
// digits up to the first other character, 0 without digits. Out-of-range
// values stop at the limits of a signed 32-bit integer.
int32_t ReadMatrixLen(const std::string& text);

}  // namespace korvel
