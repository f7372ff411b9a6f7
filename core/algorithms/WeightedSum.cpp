#include "WeightedSum.h"

#include "CharClass.h"
#include "Decimal.h"

namespace korvel {
namespace {

// The weighted sum of the first `count` numbers, wrapping modulo 2^32 like a
// signed 32-bit sum, as decimal text. Each weight is the password character's
// code minus 48, so "0".."9" weigh 0 to 9.
bool WeightedSum(int32_t count, const std::string& password, char* challenge, bool negateEven,
                 std::string& reply) {
  reply.clear();
  if (!challenge || count < 0 || password.size() < static_cast<std::size_t>(count))
    return false;  // a missing weight would be read past the password
  TNumberReader reader(challenge);
  uint32_t total = 0;
  for (int32_t i = 0; i < count; ++i) {
    uint32_t value = 0;
    if (!reader.Next(value)) return false;
    if (negateEven && value % 2 == 0) value = 0u - value;
    uint32_t weight = static_cast<uint32_t>(static_cast<unsigned char>(password[i])) - 48u;
    total += value * weight;
  }
  reply = std::to_string(static_cast<int32_t>(total));
  return true;
}

}  // namespace

bool TNumberReader::Next(uint32_t& value) {
  if (*At == '\0') return false;
  while (*At != '\0' && !IsDigit(*At)) ++At;
  const TDecimal number = ReadDecimal(At);
  At += number.Digits;
  value = static_cast<uint32_t>(number.Value);  // modulo 2^32
  if (*At != '\0') *At++ = '\0';
  return true;
}

TItanetPassword::TItanetPassword(int32_t count, const char* password)
    : Count(count), Password(password ? password : "") {}

bool TItanetPassword::MakeReply(char* challenge) {
  return WeightedSum(Count, Password, challenge, false, ReplyText);
}

TFlexnetPassword::TFlexnetPassword(int32_t count, const char* password)
    : Count(count), Password(password ? password : "") {}

bool TFlexnetPassword::MakeReply(char* challenge) {
  return WeightedSum(Count, Password, challenge, true, ReplyText);
}

std::string_view FirstFiveDigitRun(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    if (!IsDigit(text[at])) {
      ++at;
      continue;
    }
    std::size_t end = at;
    while (end < text.size() && IsDigit(text[end])) ++end;
    if (end - at == 5) return text.substr(at, 5);
    at = end;
  }
  return {};
}

bool FlexnetDigitsReply(std::string_view challenge, std::string_view password, std::string& reply) {
  const std::string_view digits = FirstFiveDigitRun(challenge);
  if (digits.empty() || password.size() != 5 || FirstFiveDigitRun(password) != password)
    return false;
  int sum = 0;
  for (std::size_t i = 0; i < 5; ++i) sum += (digits[i] - '0') * (password[i] - '0');
  reply = std::to_string(sum);
  return true;
}

}  // namespace korvel
