// MD2 (RFC 1319) and MD5 (RFC 1321) digests of one text, with the digest as
// 32 lowercase hex characters. Each object digests its text when it is made.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvel {

class TMD2Digest {
 public:
  explicit TMD2Digest(const char* text);
  explicit TMD2Digest(std::string_view bytes);
  const char* HexDigest() const { return Hex; }
  const uint8_t* Digest() const { return DigestBytes; }

 private:
  void Update(const uint8_t* data, std::size_t length);
  void Transform(const uint8_t* block);
  void Final();

  unsigned Pending = 0;  // bytes waiting in Block
  uint8_t State[16] = {};
  uint8_t Checksum[16] = {};
  uint8_t Block[16] = {};
  uint8_t DigestBytes[16] = {};
  char Hex[33] = {};
};

class TMD5Digest {
 public:
  explicit TMD5Digest(const char* text);
  explicit TMD5Digest(std::string_view bytes);
  const char* HexDigest() const { return Hex; }
  const uint8_t* Digest() const { return DigestBytes; }

 private:
  void Update(const uint8_t* data, std::size_t length);
  void Transform(const uint8_t* block);
  void Final();

  uint32_t State[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  uint32_t Bits[2] = {0, 0};  // message length in bits, low word first
  uint8_t Block[64] = {};
  uint8_t DigestBytes[16] = {};
  char Hex[33] = {};
};

// The MD5 login of NOS mailboxes (JNOS): the challenge is a 32-bit number
// in hexadecimal, 1 to 8 digits of either letter case; the reply is the hex
// MD5 of its four bytes, least significant first, followed by the password.
// False, with the reply left alone, for any other challenge.
bool NosMD5Reply(std::string_view challenge, std::string_view password, std::string& reply);

}  // namespace korvel
