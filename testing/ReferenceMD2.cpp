#include "ReferenceMD2.h"

#include <cstdio>
#include <vector>

namespace korvel::test {

// MD2 written out once more, step by step as RFC 1319 section 3 puts it:
// pad, append the checksum, then digest the whole in 16-byte blocks.
std::string ReferenceMD2(const std::string& message) {
  static const unsigned char S[256] = {
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
  std::vector<unsigned char> m(message.begin(), message.end());
  std::size_t pad = 16 - m.size() % 16;
  m.insert(m.end(), pad, static_cast<unsigned char>(pad));
  unsigned char C[16] = {};
  unsigned char L = 0;
  for (std::size_t i = 0; i < m.size() / 16; ++i)
    for (int j = 0; j < 16; ++j) L = C[j] ^= S[m[i * 16 + j] ^ L];
  m.insert(m.end(), C, C + 16);
  unsigned char X[48] = {};
  for (std::size_t i = 0; i < m.size() / 16; ++i) {
    for (int j = 0; j < 16; ++j) {
      X[16 + j] = m[i * 16 + j];
      X[32 + j] = X[16 + j] ^ X[j];
    }
    unsigned t = 0;
    for (unsigned j = 0; j < 18; ++j) {
      for (int k = 0; k < 48; ++k) t = X[k] ^= S[t];
      t = (t + j) % 256;
    }
  }
  char hex[33];
  for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", X[i]);
  return hex;
}

}  // namespace korvel::test
