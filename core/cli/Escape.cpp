// Texts shown on one line of a terminal, whatever bytes they hold.
#include "Korvel.h"

namespace korvel::cli {
namespace {

// The length of the whole UTF-8 character at `at`, or 0 when none starts there.
std::size_t Utf8Length(const std::string& text, std::size_t at) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(at);
  std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                       : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                      : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i)
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  unsigned char second = byte(at + 1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
      (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
    return 0;  // overlong forms, surrogates, beyond U+10FFFF
  return length;
}

}  // namespace

// Bytes of whole UTF-8 characters stay as they are (but for the C1 controls,
// U+0080 to U+009F), so that texts in UTF-8 still read well.
std::string Escaped(const std::string& text) {
  std::string out;
  auto hex = [&](unsigned char c) {
    constexpr char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 15];
  };
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (std::size_t length = Utf8Length(text, i)) {
      if (c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
        hex(c);
        hex(static_cast<unsigned char>(text[i + 1]));
      } else {
        out.append(text, i, length);
      }
      i += length;
      continue;
    }
    if (c == '\t')
      out += "\\t";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\\')
      out += "\\\\";
    else if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F))
      hex(c);
    else
      out += static_cast<char>(c);
    ++i;
  }
  return out;
}

}  // namespace korvel::cli
