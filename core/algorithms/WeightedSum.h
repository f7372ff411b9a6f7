// ITANET and FLEXNET replies: the challenge is a row of numbers, the password
// a row of digit weights, and the reply a weighted sum as decimal text.
// ITANET adds every number times its weight; FLEXNET first negates the even
// numbers (0 included).
#pragma once

#include <cstdint>
#include <string>

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
  bool MakeReply(char* challenge);
  const std::string& Reply() const { return ReplyText; }

 private:
  int32_t Count;
  std::string Password;
  std::string ReplyText;
};

}  // namespace korvel
