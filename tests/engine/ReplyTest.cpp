// Replies made from a record and a challenge, and the automatic reply from a
// received line, with the buffer-length rule of the exports.
#include <gtest/gtest.h>

#include <cstring>

#include "Digest.h"
#include "Records.h"
#include "ZORVAModule.h"

namespace korvel {
namespace {

class Replies : public ::testing::Test {
 protected:
  TZORVAModule Module{nullptr};

  int Add(std::string prompt, std::string password, std::string_view type) {
    return test::Append(*Module.ClientPasswords,
                        test::Record("tag", std::move(prompt), std::move(password), type));
  }
  // The reply, or "<fail>" after checking that the buffer was left alone.
  std::string Make(std::string challenge, int position, unsigned length = 255) {
    std::vector<char> buffer(length + 1, '#');
    if (!Module.MakeChallengeReply(challenge.data(), buffer.data(), length, position)) {
      EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(length + 1, '#'));
      return "<fail>";
    }
    return buffer.data();
  }
  std::string Auto(const std::string& text, unsigned length = 255) {
    std::vector<char> buffer(length + 1, '#');
    if (!Module.AutoReply(text.c_str(), buffer.data(), length)) {
      EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(length + 1, '#'));
      return "<fail>";
    }
    return buffer.data();
  }
};

TEST_F(Replies, EachTypeAnswersAReceivedLine) {
  Add("DB0ABC}", "abcdefghij", "M5");
  Add("BBS>", "geheim", "MD2");
  Add("Mail:", "geheim", "MD5");
  Add("ITA 9>", "12345", "ITANET");
  Add("FLX 8>", "12345", "FLEXNET");
  EXPECT_EQ(Auto("DB0ABC} 3 1 10 2 2 7\r\n"), "cajbb");
  // Fewer numbers than the matrix length: a trailing blank or line end adds nothing.
  for (const char* line :
       {"DB0ABC} 1 2 3", "DB0ABC} 1 2 3 ", "DB0ABC} 1 2 3\r", "DB0ABC} 1 2 3\r\n"})
    EXPECT_EQ(Auto(line), "abc") << line;
  EXPECT_EQ(Auto("BBS> Login [ 472 ] >"), TMD2Digest("472geheim").HexDigest());
  EXPECT_EQ(Auto("Mail: <  x9q2  >"), TMD5Digest("x9q2geheim").HexDigest());
  // The digits of the prompt itself are not read as numbers.
  EXPECT_EQ(Auto("ITA 9> 12 5 33 4 17"), "222");
  EXPECT_EQ(Auto("FLX 8> 12 5 33 4 17"), "166");
  EXPECT_EQ(Auto("nobody asks this"), "<fail>");
  EXPECT_EQ(Auto("BBS> no brackets"), "<fail>");
  EXPECT_EQ(Auto("ITA 9> 1 2 3"), "<fail>");
}

TEST_F(Replies, ChallengeComesFirstAndPasswordSecond) {
  int md5 = Add("", "pw", "MD5");
  int md2 = Add("", "pw", "MD2");
  EXPECT_EQ(Make("1234", md5), TMD5Digest("1234pw").HexDigest());
  EXPECT_NE(Make("1234", md5), TMD5Digest("pw1234").HexDigest());
  EXPECT_EQ(Make("1234", md2), TMD2Digest("1234pw").HexDigest());
  EXPECT_EQ(Make("", md5), TMD5Digest("pw").HexDigest());
}

TEST_F(Replies, ItanetAndFlexnetCutTheCallersChallenge) {
  int ita = Add("", "12345", "ITANET");
  char challenge[] = "12 5 33 4 17";
  char reply[16];
  ASSERT_TRUE(Module.MakeChallengeReply(challenge, reply, 15, ita));
  EXPECT_STREQ(reply, "222");
  EXPECT_STREQ(challenge, "12");
  int shortPassword = Add("", "1234", "FLEXNET");
  EXPECT_EQ(Make("1 2 3 4 5", shortPassword), "<fail>");
}

TEST_F(Replies, MatrixEdgeCases) {
  EXPECT_EQ(Make("1 2", Add("", "abc", "M")), "<fail>");  // no length: count 0
  EXPECT_EQ(Make("1 2 3 1 2 3 1 2 3 1 2 3", Add("", "abc", "M12")), "abcabcabcabc");
  EXPECT_EQ(Make("1 2", Add("", "abc", "M -3")), "<fail>");
  EXPECT_EQ(Make("1 2 9", Add("", "abc", "M3")), "ab");          // partial reply counts
  EXPECT_EQ(Make("2 1", Add("", "a()", "M2")), "<fail>");        // zero character first
  EXPECT_EQ(Make("1 2 3", Add("", "a)b", "M3")), "a");           // reply ends at the zero
  EXPECT_EQ(Make("1", Add("", "abc", "M99999999999999")), "a");  // huge length: clamped
  EXPECT_EQ(Make("1", Add("", "abc", "M4294967296")), "a");      // clamped, not 2^32 cut to 0
}

TEST_F(Replies, TheLengthRuleOfTheCallersBuffer) {
  int md5 = Add("BBS>", "pw", "MD5");
  EXPECT_EQ(Make("x", md5, 32).size(), 32u);  // exactly the length
  EXPECT_EQ(Make("x", md5, 31), "<fail>");
  EXPECT_EQ(Auto("BBS> <x>", 32).size(), 32u);
  EXPECT_EQ(Auto("BBS> <x>", 31), "<fail>");
  EXPECT_EQ(Auto("BBS> <x>", 0), "<fail>");
}

TEST_F(Replies, WhatNamesNoRecordOrNoTextFails) {
  int md5 = Add("", "pw", "MD5");
  char reply[40] = "keep";
  char challenge[] = "1";
  EXPECT_FALSE(Module.MakeChallengeReply(challenge, reply, 39, -1));
  EXPECT_FALSE(Module.MakeChallengeReply(challenge, reply, 39, 1));
  EXPECT_FALSE(Module.MakeChallengeReply(nullptr, reply, 39, md5));
  EXPECT_FALSE(Module.MakeChallengeReply(challenge, nullptr, 39, md5));
  EXPECT_FALSE(Module.AutoReply(nullptr, reply, 39));
  EXPECT_STREQ(reply, "keep");
  Module.ClientPasswords->At(md5).Type = 8;  // no algorithm has this number
  EXPECT_FALSE(Module.MakeChallengeReply(challenge, reply, 39, md5));
}

TEST_F(Replies, LongReceivedLinesAreHandledWithinTheWorkingBuffers) {
  Add("BBS>", "pw", "MD5");
  Add("ITA>", "11111", "ITANET");
  std::string tail(300, ' ');
  // The rest of the text from the challenge must fit the 256-character buffer.
  EXPECT_EQ(Auto("BBS> <abc>" + std::string(251, ' ')).size(), 32u);
  EXPECT_EQ(Auto("BBS> <abc>" + std::string(253, ' ')), "<fail>");
  EXPECT_EQ(Auto("ITA> 1 2 3 4 5" + tail), "<fail>");
  EXPECT_EQ(Auto(std::string(70000, 'x') + "ITA> 1 2 3 4 5"), "15");
}

}  // namespace
}  // namespace korvel
