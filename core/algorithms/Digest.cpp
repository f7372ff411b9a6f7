#include "Digest.h"

#include <bit>
#include <cstring>

#include "CharClass.h"

namespace korvel {
namespace {

void ToHex(const uint8_t* digest, char* hex) {
  static const char kDigits[] = "0123456789abcdef";
  for (int i = 0; i < 16; ++i) {
    hex[2 * i] = kDigits[digest[i] >> 4];
    hex[2 * i + 1] = kDigits[digest[i] & 0xF];
  }
  hex[32] = '\0';
}

std::string_view TextOrEmpty(const char* text) { return text ? text : ""; }

// The permutation of 0..255 built from the digits of pi (RFC 1319).
constexpr uint8_t kPiSubst[256] = {
    41,  46,  67,  201, 162, 216, 124, 1,   61,  54,  84,  161, 236, 240, 6,   19,  98,  167, 5,
    243, 192, 199, 115, 140, 152, 147, 43,  217, 188, 76,  130, 202, 30,  155, 87,  60,  253, 212,
    224, 22,  103, 66,  111, 24,  138, 23,  229, 18,  190, 78,  196, 214, 218, 158, 222, 73,  160,
    251, 245, 142, 187, 47,  238, 122, 169, 104, 121, 145, 21,  178, 7,   63,  148, 194, 16,  137,
    11,  34,  95,  33,  128, 127, 93,  154, 90,  144, 50,  39,  53,  62,  204, 231, 191, 247, 151,
    3,   255, 25,  48,  179, 72,  165, 181, 209, 215, 94,  146, 42,  172, 86,  170, 198, 79,  184,
    56,  210, 150, 164, 125, 182, 118, 252, 107, 226, 156, 116, 4,   241, 69,  157, 112, 89,  100,
    113, 135, 32,  134, 91,  207, 101, 230, 45,  168, 2,   27,  96,  37,  173, 174, 176, 185, 246,
    28,  70,  97,  105, 52,  64,  126, 15,  85,  71,  163, 35,  221, 81,  175, 58,  195, 92,  249,
    206, 186, 197, 234, 38,  44,  83,  13,  110, 133, 40,  132, 9,   211, 223, 205, 244, 65,  129,
    77,  82,  106, 220, 55,  200, 108, 193, 171, 250, 36,  225, 123, 8,   12,  189, 177, 74,  120,
    136, 149, 139, 227, 99,  232, 109, 233, 203, 213, 254, 59,  0,   29,  57,  242, 239, 183, 14,
    102, 88,  208, 228, 166, 119, 114, 248, 235, 117, 75,  10,  49,  68,  80,  180, 143, 237, 31,
    26,  219, 153, 141, 51,  159, 17,  131, 20};

}  // namespace

// ---- MD2 ---------------------------------------------------------------

TMD2Digest::TMD2Digest(const char* text) : TMD2Digest(TextOrEmpty(text)) {}

TMD2Digest::TMD2Digest(std::string_view bytes) {
  Update(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  Final();
}

void TMD2Digest::Transform(const uint8_t* block) {
  uint8_t x[48];
  for (int i = 0; i < 16; ++i) {
    x[i] = State[i];
    x[16 + i] = block[i];
    x[32 + i] = static_cast<uint8_t>(State[i] ^ block[i]);
  }
  unsigned t = 0;
  for (int round = 0; round < 18; ++round) {
    for (int k = 0; k < 48; ++k) t = x[k] ^= kPiSubst[t];
    t = (t + static_cast<unsigned>(round)) & 0xFF;
  }
  std::memcpy(State, x, 16);
  // The checksum step as the reference implementation does it: exclusive-or.
  t = Checksum[15];
  for (int i = 0; i < 16; ++i) t = Checksum[i] ^= kPiSubst[block[i] ^ t];
}

void TMD2Digest::Update(const uint8_t* data, std::size_t length) {
  while (length > 0) {
    std::size_t take = std::min<std::size_t>(16 - Pending, length);
    std::memcpy(Block + Pending, data, take);
    Pending += static_cast<unsigned>(take);
    data += take;
    length -= take;
    if (Pending == 16) {
      Transform(Block);
      Pending = 0;
    }
  }
}

void TMD2Digest::Final() {
  uint8_t padding[16];
  unsigned n = 16 - Pending;
  std::memset(padding, static_cast<int>(n), n);
  Update(padding, n);
  uint8_t checksum[16];
  std::memcpy(checksum, Checksum, 16);
  Update(checksum, 16);
  std::memcpy(DigestBytes, State, 16);
  ToHex(DigestBytes, Hex);
}

// ---- MD5 ---------------------------------------------------------------

namespace {

constexpr uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// floor(abs(sin(i + 1)) * 2^32), as RFC 1321 lists them.
constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

}  // namespace

TMD5Digest::TMD5Digest(const char* text) : TMD5Digest(TextOrEmpty(text)) {}

TMD5Digest::TMD5Digest(std::string_view bytes) {
  Update(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  Final();
}

// The 64 steps written out, four rounds of sixteen, as RFC 1321 lists them;
// unrolled so the compiler keeps everything in registers.
#define KORVEL_MD5_STEP(f, a, b, c, d, x, t, s) \
  a += f(b, c, d) + (x) + (t);                  \
  a = Rotl(a, s) + (b)
// In round two the two halves of G share no bits, so their sum is G, and the
// additions do not wait for each other.
#define KORVEL_MD5_STEP_G(a, b, c, d, x, t, s) \
  a += ((c) & ~(d)) + (x) + (t);               \
  a += (b) & (d);                              \
  a = Rotl(a, s) + (b)

namespace {
constexpr uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return z ^ (x & (y ^ z)); }
constexpr uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
constexpr uint32_t I(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }
}  // namespace

void TMD5Digest::Transform(const uint8_t* block) {
  uint32_t m[16];
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(m, block, sizeof m);
  } else {
    for (int i = 0; i < 16; ++i)
      m[i] = static_cast<uint32_t>(block[4 * i]) | (static_cast<uint32_t>(block[4 * i + 1]) << 8) |
             (static_cast<uint32_t>(block[4 * i + 2]) << 16) |
             (static_cast<uint32_t>(block[4 * i + 3]) << 24);
  }
  uint32_t a = State[0], b = State[1], c = State[2], d = State[3];
  const uint32_t* t = kSine;
  KORVEL_MD5_STEP(F, a, b, c, d, m[0], t[0], 7);
  KORVEL_MD5_STEP(F, d, a, b, c, m[1], t[1], 12);
  KORVEL_MD5_STEP(F, c, d, a, b, m[2], t[2], 17);
  KORVEL_MD5_STEP(F, b, c, d, a, m[3], t[3], 22);
  KORVEL_MD5_STEP(F, a, b, c, d, m[4], t[4], 7);
  KORVEL_MD5_STEP(F, d, a, b, c, m[5], t[5], 12);
  KORVEL_MD5_STEP(F, c, d, a, b, m[6], t[6], 17);
  KORVEL_MD5_STEP(F, b, c, d, a, m[7], t[7], 22);
  KORVEL_MD5_STEP(F, a, b, c, d, m[8], t[8], 7);
  KORVEL_MD5_STEP(F, d, a, b, c, m[9], t[9], 12);
  KORVEL_MD5_STEP(F, c, d, a, b, m[10], t[10], 17);
  KORVEL_MD5_STEP(F, b, c, d, a, m[11], t[11], 22);
  KORVEL_MD5_STEP(F, a, b, c, d, m[12], t[12], 7);
  KORVEL_MD5_STEP(F, d, a, b, c, m[13], t[13], 12);
  KORVEL_MD5_STEP(F, c, d, a, b, m[14], t[14], 17);
  KORVEL_MD5_STEP(F, b, c, d, a, m[15], t[15], 22);
  KORVEL_MD5_STEP_G(a, b, c, d, m[1], t[16], 5);
  KORVEL_MD5_STEP_G(d, a, b, c, m[6], t[17], 9);
  KORVEL_MD5_STEP_G(c, d, a, b, m[11], t[18], 14);
  KORVEL_MD5_STEP_G(b, c, d, a, m[0], t[19], 20);
  KORVEL_MD5_STEP_G(a, b, c, d, m[5], t[20], 5);
  KORVEL_MD5_STEP_G(d, a, b, c, m[10], t[21], 9);
  KORVEL_MD5_STEP_G(c, d, a, b, m[15], t[22], 14);
  KORVEL_MD5_STEP_G(b, c, d, a, m[4], t[23], 20);
  KORVEL_MD5_STEP_G(a, b, c, d, m[9], t[24], 5);
  KORVEL_MD5_STEP_G(d, a, b, c, m[14], t[25], 9);
  KORVEL_MD5_STEP_G(c, d, a, b, m[3], t[26], 14);
  KORVEL_MD5_STEP_G(b, c, d, a, m[8], t[27], 20);
  KORVEL_MD5_STEP_G(a, b, c, d, m[13], t[28], 5);
  KORVEL_MD5_STEP_G(d, a, b, c, m[2], t[29], 9);
  KORVEL_MD5_STEP_G(c, d, a, b, m[7], t[30], 14);
  KORVEL_MD5_STEP_G(b, c, d, a, m[12], t[31], 20);
  KORVEL_MD5_STEP(H, a, b, c, d, m[5], t[32], 4);
  KORVEL_MD5_STEP(H, d, a, b, c, m[8], t[33], 11);
  KORVEL_MD5_STEP(H, c, d, a, b, m[11], t[34], 16);
  KORVEL_MD5_STEP(H, b, c, d, a, m[14], t[35], 23);
  KORVEL_MD5_STEP(H, a, b, c, d, m[1], t[36], 4);
  KORVEL_MD5_STEP(H, d, a, b, c, m[4], t[37], 11);
  KORVEL_MD5_STEP(H, c, d, a, b, m[7], t[38], 16);
  KORVEL_MD5_STEP(H, b, c, d, a, m[10], t[39], 23);
  KORVEL_MD5_STEP(H, a, b, c, d, m[13], t[40], 4);
  KORVEL_MD5_STEP(H, d, a, b, c, m[0], t[41], 11);
  KORVEL_MD5_STEP(H, c, d, a, b, m[3], t[42], 16);
  KORVEL_MD5_STEP(H, b, c, d, a, m[6], t[43], 23);
  KORVEL_MD5_STEP(H, a, b, c, d, m[9], t[44], 4);
  KORVEL_MD5_STEP(H, d, a, b, c, m[12], t[45], 11);
  KORVEL_MD5_STEP(H, c, d, a, b, m[15], t[46], 16);
  KORVEL_MD5_STEP(H, b, c, d, a, m[2], t[47], 23);
  KORVEL_MD5_STEP(I, a, b, c, d, m[0], t[48], 6);
  KORVEL_MD5_STEP(I, d, a, b, c, m[7], t[49], 10);
  KORVEL_MD5_STEP(I, c, d, a, b, m[14], t[50], 15);
  KORVEL_MD5_STEP(I, b, c, d, a, m[5], t[51], 21);
  KORVEL_MD5_STEP(I, a, b, c, d, m[12], t[52], 6);
  KORVEL_MD5_STEP(I, d, a, b, c, m[3], t[53], 10);
  KORVEL_MD5_STEP(I, c, d, a, b, m[10], t[54], 15);
  KORVEL_MD5_STEP(I, b, c, d, a, m[1], t[55], 21);
  KORVEL_MD5_STEP(I, a, b, c, d, m[8], t[56], 6);
  KORVEL_MD5_STEP(I, d, a, b, c, m[15], t[57], 10);
  KORVEL_MD5_STEP(I, c, d, a, b, m[6], t[58], 15);
  KORVEL_MD5_STEP(I, b, c, d, a, m[13], t[59], 21);
  KORVEL_MD5_STEP(I, a, b, c, d, m[4], t[60], 6);
  KORVEL_MD5_STEP(I, d, a, b, c, m[11], t[61], 10);
  KORVEL_MD5_STEP(I, c, d, a, b, m[2], t[62], 15);
  KORVEL_MD5_STEP(I, b, c, d, a, m[9], t[63], 21);
  State[0] += a;
  State[1] += b;
  State[2] += c;
  State[3] += d;
}

#undef KORVEL_MD5_STEP
#undef KORVEL_MD5_STEP_G

void TMD5Digest::Update(const uint8_t* data, std::size_t length) {
  std::size_t have = (Bits[0] >> 3) & 63;
  uint64_t bits =
      (static_cast<uint64_t>(Bits[1]) << 32 | Bits[0]) + (static_cast<uint64_t>(length) << 3);
  Bits[0] = static_cast<uint32_t>(bits);
  Bits[1] = static_cast<uint32_t>(bits >> 32);
  if (have > 0) {
    std::size_t take = std::min<std::size_t>(64 - have, length);
    std::memcpy(Block + have, data, take);
    data += take;
    length -= take;
    if (have + take < 64) return;
    Transform(Block);
  }
  for (; length >= 64; data += 64, length -= 64) Transform(data);
  std::memcpy(Block, data, length);
}

void TMD5Digest::Final() {
  uint8_t length[8];
  for (int i = 0; i < 4; ++i) {
    length[i] = static_cast<uint8_t>(Bits[0] >> (8 * i));
    length[4 + i] = static_cast<uint8_t>(Bits[1] >> (8 * i));
  }
  std::size_t have = (Bits[0] >> 3) & 63;
  std::size_t pad = have < 56 ? 56 - have : 120 - have;
  static const uint8_t kPadding[64] = {0x80};
  Update(kPadding, pad);
  Update(length, 8);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) DigestBytes[4 * i + j] = static_cast<uint8_t>(State[i] >> (8 * j));
  ToHex(DigestBytes, Hex);
}

// ---- NOS MD5 -------------------------------------------------------------

bool NosMD5Reply(std::string_view challenge, std::string_view password, std::string& reply) {
  if (challenge.empty() || challenge.size() > 8) return false;
  uint32_t value = 0;
  for (char c : challenge) {
    if (!IsXDigit(c)) return false;
    const char upper = ToUpper(c);
    value = (value << 4) | static_cast<uint32_t>(IsDigit(upper) ? upper - '0' : upper - 'A' + 10);
  }
  std::string message(4, '\0');
  for (std::size_t i = 0; i < 4; ++i) message[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  message.append(password);
  reply = TMD5Digest(std::string_view(message)).HexDigest();
  return true;
}

}  // namespace korvel
