// Which record a received text asks for, and the challenge cut out of it.
#include <gtest/gtest.h>

#include <cstring>

#include "ZORVAModule.h"
#include "Records.h"

namespace korvel {
namespace {

class Recognition : public ::testing::Test {
 protected:
  TZORVAModule Module{nullptr};

  int Add(std::string prompt, int type) {
    return test::Append(*Module.ClientPasswords, test::Record("tag", std::move(prompt), "", type));
  }
  int Search(const char* text, int position = -1) {
    Module.SearchChallenge(text, position);
    return position;
  }
  // The isolated challenge, or "<fail>"; checks that failures leave the
  // buffer and counter alone.
  std::string Isolate(const std::string& text, int position, unsigned length = 256) {
    std::vector<char> buffer(length + 1, '#');
    int counter = 5;
    if (!Module.IsolateChallenge(text.c_str(), buffer.data(), length, position, counter)) {
      EXPECT_EQ(counter, 5);
      EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(length + 1, '#'));
      return "<fail>";
    }
    return buffer.data();
  }
};

TEST_F(Recognition, TheEarliestMatchingRecordWins) {
  Add("BBS>", kMD2);
  Add("Node:", kMD5);
  EXPECT_EQ(Search("Node: then BBS> [123]"), 0);
  EXPECT_EQ(Search("only Node: here"), 1);
  EXPECT_EQ(Search("node: has the wrong case"), -1);
  EXPECT_EQ(Search(""), -1);
  Add("", kMD5);
  EXPECT_EQ(Search("anything at all"), 2);  // an empty prompt matches every text
}

TEST_F(Recognition, APositionOnEntryTestsOnlyThatRecord) {
  Add("one", kMD2);
  Add("two", kMD2);
  EXPECT_EQ(Search("one two", 1), 1);
  EXPECT_EQ(Search("one", 1), -1);
  EXPECT_EQ(Search("one", 2), -1);  // equal to the count
  EXPECT_EQ(Search("one", -2), -1);
  EXPECT_EQ(Search("one", 1 << 30), -1);
  int position = 0;
  EXPECT_FALSE(Module.SearchChallenge(nullptr, position));
  EXPECT_EQ(position, -1);
}

TEST_F(Recognition, SearchInAnEmptyListFails) {
  EXPECT_EQ(Search("text"), -1);
  EXPECT_EQ(Search("text", 0), -1);
}

TEST_F(Recognition, MatrixChallengeIsTheRestFromTheFirstDigitAfterThePrompt) {
  int node = Add("NODE}", kNetromMatrix);
  EXPECT_EQ(Isolate("NODE} 12 40 3 71 9\r", node), "12 40 3 71 9\r");
  int code = Add("Code:", kNetromMatrix);
  EXPECT_EQ(Isolate("7 before Code: A7 5 9", code), "7 5 9");
  EXPECT_EQ(Isolate("Code: no digits at all", code), "<fail>");
  EXPECT_EQ(Isolate("prompt missing 1 2 3", code), "<fail>");
  EXPECT_EQ(Isolate("Code: \xB2\xB3 5", code), "5");  // bytes above 127 are no digits
}

TEST_F(Recognition, SquareAndAngleBracketsAreTrimmedToLettersAndDigits) {
  int md2 = Add("", kMD2);
  int md5 = Add("", kMD5);
  EXPECT_EQ(Isolate("Login [ 472 ] >", md2), "472");
  EXPECT_EQ(Isolate("[old] now [AB-12. ]", md2), "AB-12");
  EXPECT_EQ(Isolate("[a b,c]", md2), "a b,c");
  EXPECT_EQ(Isolate("nodeX <  x9q2  >", md5), "x9q2");
  EXPECT_EQ(Isolate("<\xE4"
                    "b\xE4>",
                    md5),
            "b");
}

TEST_F(Recognition, BracketScansThatFindNothingFail) {
  int md2 = Add("", kMD2);
  EXPECT_EQ(Isolate("no brackets", md2), "<fail>");
  EXPECT_EQ(Isolate("only [ opening 12", md2), "<fail>");
  EXPECT_EQ(Isolate("only ] closing", md2), "<fail>");
  EXPECT_EQ(Isolate("[ -- ]", md2), "<fail>");        // nothing to answer
  EXPECT_EQ(Isolate("x] then [abc", md2), "<fail>");  // no ] after the last [
  EXPECT_EQ(Isolate("[", md2), "<fail>");
  EXPECT_EQ(Isolate("]", md2), "<fail>");
}

TEST_F(Recognition, TheLengthRuleMeasuresTheRestOfTheReceivedText) {
  int md2 = Add("", kMD2);
  int matrix = Add("P", kNetromMatrix);
  // "abc] tail" is 9 characters from the challenge's start.
  EXPECT_EQ(Isolate("[abc] tail", md2, 9), "abc");
  EXPECT_EQ(Isolate("[abc] tail", md2, 8), "<fail>");
  EXPECT_EQ(Isolate("P 1 2", matrix, 3), "1 2");
  EXPECT_EQ(Isolate("P 1 2", matrix, 2), "<fail>");
  EXPECT_EQ(Isolate("P 1 2", matrix, 0), "<fail>");
}

TEST_F(Recognition, ItanetAndFlexnetCutNothingAndCountDown) {
  int ita = Add("", kItanet);
  int flex = Add("", kFlexnet);
  for (int position : {ita, flex}) {
    char buffer[8] = "keep";
    int counter = 0;
    EXPECT_TRUE(Module.IsolateChallenge("1 2 3 4 5", buffer, 7, position, counter));
    EXPECT_STREQ(buffer, "keep");
    EXPECT_EQ(counter, -1);
  }
  int counter = INT32_MIN;  // wraps instead of overflowing
  char buffer[8];
  EXPECT_TRUE(Module.IsolateChallenge("x", buffer, 7, ita, counter));
  EXPECT_EQ(counter, INT32_MAX);
}

TEST_F(Recognition, IsolationRefusesWhatNamesNoRecord) {
  int md2 = Add("", kMD2);
  int odd = Add("", 9);
  char buffer[8] = "keep";
  int counter = 0;
  EXPECT_FALSE(Module.IsolateChallenge("[a]", buffer, 7, -1, counter));
  EXPECT_FALSE(Module.IsolateChallenge("[a]", buffer, 7, 2, counter));
  EXPECT_FALSE(Module.IsolateChallenge("[a]", buffer, 7, -7, counter));
  EXPECT_FALSE(Module.IsolateChallenge("[a]", buffer, 7, odd, counter));
  EXPECT_FALSE(Module.IsolateChallenge(nullptr, buffer, 7, md2, counter));
  EXPECT_FALSE(Module.IsolateChallenge("[a]", nullptr, 7, md2, counter));
  EXPECT_STREQ(buffer, "keep");
  EXPECT_EQ(counter, 0);
}

TEST_F(Recognition, LongTextsAreScannedToTheirEndOnly) {
  int md5 = Add("<<prompt>>", kMD5);
  std::string text(64 * 1024, 'x');
  text.replace(30000, 10, "<<prompt>>");
  EXPECT_EQ(Search(text.c_str()), md5);
  text += "<Zz9>";
  EXPECT_EQ(Isolate(text, md5, 16), "Zz9");
  std::string prompt(100, 'p');
  Add(prompt, kMD2);
  EXPECT_EQ(Search("ppp", 1), -1);  // prompt longer than the text
}

}  // namespace
}  // namespace korvel

namespace korvel {
namespace {

// A prompt without a line end may still grow: its challenge counts only once
// it stands whole, so that a part of it is never answered.
TEST(ChallengeComplete, NumbersEndedAndBracketsClosed) {
  struct {
    const char* Type;  // as the store keeps it
    const char* Text;
    bool Complete;
  } cases[] = {
      {"M5", "N:C} 1 2", false},
      {"M5", "N:C} 1 2 3 4 5", false},  // 5 may go on
      {"M5", "N:C} 1 2 3 4 5 ", true},
      {"M5", "N:C} 1 2 3 4 5 6", true},
      {"M5", "N:C} 1 2 3 4 x", false},
      {"0M3", "N:C} 0,1,2>", true},  // digits before it
      {"MD5", "N:C} [12345", false},
      {"MD5", "N:C} [12345]", true},
      {"MD5", "N:C} <ab> [12", false},
      {"MD2", "N:C} <ab", false},
      {"NOSMD5", "N:C} [6d01] : ", true},
      {"ITANET", "N:C} 1 2 3 4 ", false},
      {"FLEXNET", "N:C} 1 2 3 4 5>", true},
      {"SYDIGITS", "N:C} 1234", false},
      {"SYDIGITS", "N:C} 12345", false},
      {"SYDIGITS", "N:C} 12345>", true},
      {"SYDIGITS", "N:C} 123456>", false},
      {"M5", "no prompt 1 2 3 4 5 ", false},
  };
  for (const auto& c : cases) {
    TZORVAModule module(nullptr);
    test::Append(*module.ClientPasswords, test::Record("t", "N:C}", "abcdefgh", c.Type));
    EXPECT_EQ(module.ChallengeComplete(c.Text, 0), c.Complete) << c.Type << " " << c.Text;
  }
}

}  // namespace
}  // namespace korvel
