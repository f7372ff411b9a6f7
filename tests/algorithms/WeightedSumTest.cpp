// ITANET and FLEXNET: the number reader and the weighted sums.
#include <gtest/gtest.h>

#include "WeightedSum.h"

namespace korvel {
namespace {

template <typename T>
std::pair<bool, std::string> Answer(const char* password, std::string challenge) {
  T algorithm(5, password);
  bool ok = algorithm.MakeReply(challenge.data());
  return {ok, algorithm.Reply()};
}
using Ok = std::pair<bool, std::string>;
const Ok kNone{false, ""};

TEST(Itanet, WeightedSumOfFiveNumbers) {
  // 12*1 + 5*2 + 33*3 + 4*4 + 17*5
  EXPECT_EQ(Answer<TItanetPassword>("12345", "12 5 33 4 17"), (Ok{true, "222"}));
  EXPECT_EQ(Answer<TItanetPassword>("12345", "[12,5;33x4-17]"), (Ok{true, "222"}));
  EXPECT_EQ(Answer<TItanetPassword>("12345", "12 5 33 4 17 99 99"), (Ok{true, "222"}));
  EXPECT_EQ(Answer<TItanetPassword>("00000", "1 2 3 4 5"), (Ok{true, "0"}));
  EXPECT_EQ(Answer<TItanetPassword>("10000", "007 1 1 1 1"), (Ok{true, "7"}));
  EXPECT_EQ(Answer<TItanetPassword>("A0000", "1 0 0 0 0"), (Ok{true, "17"}));  // 'A' weighs 17
  EXPECT_EQ(Answer<TItanetPassword>("/0000", "1 0 0 0 0"), (Ok{true, "-1"}));
}

TEST(Itanet, TheCharacterAfterEachNumberIsConsumed) {
  EXPECT_EQ(Answer<TItanetPassword>("11111", "1 2 3 4 x"), (Ok{true, "10"}));
  EXPECT_EQ(Answer<TItanetPassword>("11111", "1 2 3 4"), kNone);
  EXPECT_EQ(Answer<TItanetPassword>("11111", "1 2 3 4 "), kNone);
  EXPECT_EQ(Answer<TItanetPassword>("11111", ""), kNone);
  EXPECT_EQ(Answer<TItanetPassword>("11111", "no digits"), kNone);
  char text[] = "12 5 33 4 17";
  TItanetPassword itanet(5, "12345");
  itanet.MakeReply(text);
  EXPECT_STREQ(text, "12");  // cut into pieces in place
  EXPECT_STREQ(text + 3, "5");
}

TEST(Itanet, SumsWrapLikeSigned32BitIntegers) {
  EXPECT_EQ(Answer<TItanetPassword>("90000", "2147483647 0 0 0 0"), (Ok{true, "2147483639"}));
  EXPECT_EQ(Answer<TItanetPassword>("20000", "2147483648 0 0 0 0"), (Ok{true, "0"}));
  // Digits beyond 32 bits wrap: 4294967297 reads as 1.
  EXPECT_EQ(Answer<TItanetPassword>("10000", "4294967297 0 0 0 0"), (Ok{true, "1"}));
}

TEST(Itanet, PasswordsShorterThanFiveWeightsGiveNoReply) {
  EXPECT_EQ(Answer<TItanetPassword>("1234", "1 2 3 4 5"), kNone);
  EXPECT_EQ(Answer<TItanetPassword>("", "1 2 3 4 5"), kNone);
  EXPECT_EQ(Answer<TFlexnetPassword>("1234", "1 2 3 4 5"), kNone);
}

TEST(Flexnet, EvenNumbersCountNegated) {
  // -12*1 + 5*2 + 33*3 - 4*4 + 17*5
  EXPECT_EQ(Answer<TFlexnetPassword>("12345", "12 5 33 4 17"), (Ok{true, "166"}));
  EXPECT_EQ(Answer<TFlexnetPassword>("11111", "2 2 2 2 2"), (Ok{true, "-10"}));
  EXPECT_EQ(Answer<TFlexnetPassword>("12345", "3 3 3 3 3"), (Ok{true, "45"}));
  EXPECT_EQ(Answer<TFlexnetPassword>("99999", "0 0 0 0 1"), (Ok{true, "9"}));
  EXPECT_EQ(Answer<TFlexnetPassword>("11111", "node: 1 2 3 4 x"), (Ok{true, "-2"}));
  EXPECT_EQ(Answer<TFlexnetPassword>("11111", "1 2 3 4 "), kNone);
  EXPECT_EQ(Answer<TFlexnetPassword>("98765", "2 4 6 8 10").second.front(), '-');
}

}  // namespace
}  // namespace korvel
