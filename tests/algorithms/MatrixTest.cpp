// The NET/ROM matrix: numbers naming template positions, the element
// language, and the classes of the random wildcards.
#include <gtest/gtest.h>

#include <set>

#include "CharClass.h"
#include "Matrix.h"

namespace korvel {
namespace {

struct TResult {
  bool Ok;
  std::string Reply;
};

TResult Answer(int count, const char* templ, const char* challenge) {
  TMatrix matrix(count, templ);
  bool ok = matrix.MakeReply(challenge);
  return {ok, matrix.Reply()};
}

TEST(Matrix, NumbersPickPositionsInTheirOrder) {
  // Six elements; 1, 3 and 6 are plain characters.
  const char* templ = "a#c(xy)*f";
  EXPECT_EQ(TMatrix::CountElements(templ), 6);
  TResult r = Answer(3, templ, "3 1 6");
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Reply, "caf");
  r = Answer(5, templ, "3 1 6");  // the text ends after three numbers
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Reply, "caf");
  r = Answer(3, templ, "7 1 2");
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.Reply, "");
  r = Answer(3, templ, "1 3 7");  // the characters before the failure stay
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.Reply, "ac");
  EXPECT_EQ(Answer(2, "abcdef", "1 2 3 4").Reply, "ab");  // only count numbers
}

// Trailing text that is not a blank or a line end reads as a number 0; a line
// with or without its line end or trailing blanks gets the same reply.
TEST(Matrix, NumberZeroAndTrailingTextAnswerTheFirstElement) {
  struct Case {
    const char* Challenge;
    const char* Reply;
  } cases[] = {{"0", "a"},       {"3 1 x", "caa"},      {"3 1", "ca"},
               {"3 1\r", "ca"},  {"3 1 \r\n", "ca"},    {"3 1\t ", "ca"},
               {"3 1 ;", "caa"}, {"3,1;x2\n4", "cabd"}, {" \r\n", ""}};
  for (const Case& c : cases)
    EXPECT_EQ(Answer(5, "abcdef", c.Challenge).Reply, c.Reply) << c.Challenge;
}

TEST(Matrix, CountOfZeroOrLessAndEmptyChallengesAnswerNothing) {
  for (int count : {0, -1, INT32_MIN}) {
    TResult r = Answer(count, "abc", "1 2");
    EXPECT_TRUE(r.Ok);
    EXPECT_EQ(r.Reply, "");
  }
  EXPECT_TRUE(Answer(5, "abc", "").Ok);
  EXPECT_EQ(Answer(5, "abc", "").Reply, "");
}

TEST(Matrix, HugeNumbersAreBeyondTheTemplate) {
  TResult r = Answer(3, "abc", "1 99999999999999999999 2");
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.Reply, "a");
  EXPECT_FALSE(Answer(1, "abc", "2147483648").Ok);
  EXPECT_FALSE(Answer(1, "abc", "18446744073709551617").Ok);  // 2^64 + 1 is no 1
}

TEST(Matrix, QuotesAndGroupsAreLiteral) {
  EXPECT_EQ(Answer(1, "\"#", "1").Reply, "#");
  EXPECT_EQ(Answer(2, "\"\"\"(", "1 2").Reply, "\"(");
  EXPECT_EQ(TMatrix::CountElements("\"#x"), 2);
  std::set<char> seen;
  for (int i = 0; i < 200; ++i) {
    std::string reply = Answer(1, "(*#)", "1").Reply;
    ASSERT_EQ(reply.size(), 1u);
    seen.insert(reply[0]);
  }
  EXPECT_EQ(seen, (std::set<char>{'*', '#'}));
}

TEST(Matrix, EmptyGroupAndLoneParenthesisAnswerTheZeroCharacter) {
  EXPECT_EQ(Answer(1, "()", "1").Reply, std::string(1, '\0'));
  EXPECT_EQ(Answer(2, "a)", "2 1").Reply, std::string("\0a", 2));
}

// Templates whose meaning is open get a fixed, safe one.
TEST(Matrix, UnfinishedTemplatesStaySafe) {
  // A lone quote at the end is one element that answers the zero character.
  EXPECT_EQ(TMatrix::CountElements("ab\""), 3);
  EXPECT_EQ(Answer(1, "ab\"", "3").Reply, std::string(1, '\0'));
  // A "(" without ")" makes the rest of the template one group.
  EXPECT_EQ(TMatrix::CountElements("a(bc"), 2);
  for (int i = 0; i < 50; ++i) {
    std::string reply = Answer(1, "a(bc", "2").Reply;
    EXPECT_TRUE(reply == "b" || reply == "c") << reply;
  }
  // A group longer than the element buffer picks among its first 30 characters.
  std::string longGroup = "(" + std::string(30, 'a') + std::string(20, 'b') + ")";
  char buffer[TMatrix::kElementBuffer];
  TMatrix::GetElement(0, longGroup, buffer);
  EXPECT_EQ(std::string(buffer), "(" + std::string(30, 'a'));
  for (int i = 0; i < 100; ++i) EXPECT_EQ(Answer(1, longGroup.c_str(), "1").Reply, "a");
}

TEST(Matrix, WildcardsDrawExactlyTheirClass) {
  struct Class {
    char wildcard;
    bool (*member)(char);
    int size;
  } classes[] = {
      {'#', [](char c) { return IsDigit(c); }, 10},
      {'*', [](char c) { return c >= '!' && c <= 'y'; }, 89},
      {'$', [](char c) { return c >= '!' && c <= 'y'; }, 89},
      {'+', [](char c) { return IsAlnum(c) && c != 'z'; }, 61},
      {'<', [](char c) { return c >= 'a' && c <= 'y'; }, 25},
      {'>', [](char c) { return IsUpper(c); }, 26},
      {'?', [](char c) { return IsXDigit(c); }, 22},
      {'@', [](char c) { return IsAlpha(c) && c != 'z'; }, 51},
  };
  for (const Class& k : classes) {
    std::set<char> seen;
    char templ[2] = {k.wildcard, '\0'};
    for (int i = 0; i < 20000; ++i) {
      std::string reply = Answer(1, templ, "1").Reply;
      ASSERT_EQ(reply.size(), 1u);
      ASSERT_TRUE(k.member(reply[0])) << k.wildcard << " gave code " << int(reply[0]);
      seen.insert(reply[0]);
    }
    EXPECT_EQ(static_cast<int>(seen.size()), k.size) << k.wildcard;  // every member occurs
  }
}

TEST(Matrix, ChallengeTextIsNeverChanged) {
  char challenge[] = "1 2 3";
  Answer(3, "abc", challenge);
  EXPECT_STREQ(challenge, "1 2 3");
}

}  // namespace
}  // namespace korvel
