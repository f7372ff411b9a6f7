// MD2 and MD5 against the RFC test suites, and against independent
// implementations for every message length from 0 to 130 bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Digest.h"
#include "ReferenceMD2.h"

#ifdef KORVEL_HAVE_OPENSSL
#include <openssl/evp.h>
#endif

namespace korvel {
namespace {

const char* const kSuite[] = {
    "",
    "a",
    "abc",
    "message digest",
    "abcdefghijklmnopqrstuvwxyz",
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
    "12345678901234567890123456789012345678901234567890123456789012345678901234567890"};

TEST(Digests, MD2MatchesTheTestSuiteOfRfc1319) {
  const char* const expected[] = {
      "8350e5a3e24c153df2275c9f80692773", "32ec01ec4a6dac72c0ab96fb34c0b5d1",
      "da853b0d3f88d99b30283a69e6ded6bb", "ab4f496bfb2a530b219ff33031fe06b0",
      "4e8ddff3650292ab5a4108c3aa47940b", "da33def2a42df13975352846c30338cd",
      "d5976f79d83d3a0dc9806c3c66f3efd8"};
  for (std::size_t i = 0; i < std::size(kSuite); ++i)
    EXPECT_STREQ(TMD2Digest(kSuite[i]).HexDigest(), expected[i]) << '"' << kSuite[i] << '"';
}

TEST(Digests, MD5MatchesTheTestSuiteOfRfc1321) {
  const char* const expected[] = {
      "d41d8cd98f00b204e9800998ecf8427e", "0cc175b9c0f1b6a831c399e269772661",
      "900150983cd24fb0d6963f7d28e17f72", "f96b697d7cb7938d525a2f31aaf161d0",
      "c3fcd3d76192e4007dfb496cca67e13b", "d174ab98d277d9f5a5611c2c9f419d9f",
      "57edf4a22be3c955ac49da2e2107b67a"};
  for (std::size_t i = 0; i < std::size(kSuite); ++i)
    EXPECT_STREQ(TMD5Digest(kSuite[i]).HexDigest(), expected[i]) << '"' << kSuite[i] << '"';
}

std::string Message(std::size_t length) {
  std::string m;
  for (std::size_t i = 0; i < length; ++i) m.push_back(static_cast<char>(1 + (i * 37 + 11) % 255));
  return m;  // every byte value but zero, so it is also a valid text
}

TEST(Digests, MD2AgreesWithAPlainImplementationForLengths0To130) {
  for (std::size_t n = 0; n <= 130; ++n) {
    std::string m = Message(n);
    EXPECT_EQ(TMD2Digest(m.c_str()).HexDigest(), test::ReferenceMD2(m)) << "length " << n;
  }
}

#ifdef KORVEL_HAVE_OPENSSL
TEST(Digests, MD5AgreesWithOpenSslForLengths0To130) {
  for (std::size_t n = 0; n <= 130; ++n) {
    std::string m = Message(n);
    unsigned char digest[16];
    unsigned size = 0;
    EVP_Digest(m.data(), m.size(), digest, &size, EVP_md5(), nullptr);
    char hex[33];
    for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    EXPECT_STREQ(TMD5Digest(m.c_str()).HexDigest(), hex) << "length " << n;
  }
}
#endif

TEST(Digests, HexIsAlways32LowercaseCharacters) {
  for (std::size_t n = 0; n < 40; ++n) {
    TMD2Digest md2(Message(n).c_str());
    TMD5Digest md5(Message(n).c_str());
    for (const char* hex : {md2.HexDigest(), md5.HexDigest()}) {
      ASSERT_EQ(std::strlen(hex), 32u);
      for (const char* p = hex; *p; ++p)
        EXPECT_TRUE((*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'f'));
    }
  }
  EXPECT_STREQ(TMD5Digest(static_cast<const char*>(nullptr)).HexDigest(),
               "d41d8cd98f00b204e9800998ecf8427e");
}

}  // namespace
}  // namespace korvel
