// ITANET and FLEXNET replies: the challenge is a row of numbers, the password
// a row of digit weights, and the reply a weighted sum as decimal text.
// ITANET adds every number times its weight; FLEXNET first negates the even
// numbers (0 included).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "Wipe.h"

namespace korvel {

// Reads the numbers of a writable text in place: any non-digit separates
// them, and the character right after each number is overwritten with a
// terminating zero. Digits are read modulo 2^32.
class TNumberReader {
 public:
  explicit TNumberReader(char* text) : At(text) {}
  // False when the text is used up.
  bool Next(uint32_t& value);

 private:
  char* At;
};

class TItanetPassword {
 public:
  TItanetPassword(int32_t count, const char* password);
  ~TItanetPassword() {
    Wipe(Password);
    Wipe(ReplyText);
  }
  TItanetPassword(const TItanetPassword&) = delete;
  TItanetPassword& operator=(const TItanetPassword&) = delete;
  // False, with an empty reply, when the challenge has fewer than `count`
  // numbers or the password has fewer than `count` weights.
  bool MakeReply(char* challenge);
  const std::string& Reply() const { return ReplyText; }

 private:
  int32_t Count;
  std::string Password;
  std::string ReplyText;
};

class TFlexnetPassword {
 public:
  TFlexnetPassword(int32_t count, const char* password);
  ~TFlexnetPassword() {
    Wipe(Password);
    Wipe(ReplyText);
  }
  TFlexnetPassword(const TFlexnetPassword&) = delete;
  TFlexnetPassword& operator=(const TFlexnetPassword&) = delete;
  bool MakeReply(char* challenge);
  const std::string& Reply() const { return ReplyText; }

 private:
  int32_t Count;
  std::string Password;
  std::string ReplyText;
};

// FlexNet's sysop login (SY): the challenge is one five-digit number, the
// password a five-digit code, and the reply the sum of each challenge digit
// times the code digit at the same place (12345 and 54321 give 35).

// The first run of exactly five digits in the text (a longer or shorter run
// is passed over), or an empty view.
std::string_view FirstFiveDigitRun(std::string_view text);
// False, with the reply left alone, when the challenge holds no run of five
// digits or the password is not five digits.
bool FlexnetDigitsReply(std::string_view challenge, std::string_view password, std::string& reply);

}  // namespace korvel
