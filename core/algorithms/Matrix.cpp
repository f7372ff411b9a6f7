#include "Matrix.h"

#include <cstring>

#include "CharClass.h"
#include "Decimal.h"
#include "Random.h"

namespace korvel {
namespace {

constexpr std::string_view kSpecial = "*@#+?<>$\"()";

// Length in the template of the element starting at `at`.
//  - A double quote takes the character after it; a double quote that ends
//    the template stands alone (and answers the zero character: nothing
//    follows it).
//  - A group runs to its ")" inclusive; a "(" without a later ")" makes the
//    rest of the template one group.
std::size_t ElementLength(std::string_view templ, std::size_t at) {
  switch (templ[at]) {
    case '"': return at + 1 < templ.size() ? 2 : 1;
    case '(': {
      std::size_t close = templ.find(')', at + 1);
      return close == std::string_view::npos ? templ.size() - at : close - at + 1;
    }
    default: return 1;
  }
}

unsigned WildcardMask(char c) {
  switch (c) {
    case '#': return 4;
    case '*':
    case '$': return 127;
    case '+': return 7;
    case '<': return 2;
    case '>': return 1;
    case '?': return 128;
    case '@': return 3;
    default: return 0;
  }
}

}  // namespace

TMatrix::TMatrix(int32_t count, const char* templ, TFirst first)
    : Count(count), First(first), Template(templ ? templ : "") {
  Element[0] = '\0';
  // The reply grows in place: a move to larger storage would leave a part
  // of it behind.
  ReplyText.reserve(count > 0 && count < 256 ? static_cast<std::size_t>(count) : 256);
}

int TMatrix::CountElements(std::string_view templ) {
  int count = 0;
  for (std::size_t at = 0; at < templ.size(); at += ElementLength(templ, at)) ++count;
  return count;
}

// Copies the element text into the buffer: a quoted element with its quote,
// a group with its "(" but without its ")". A group longer than the buffer
// holds is cut to its first 30 characters, and the pick is among those.
void TMatrix::GetElement(int index, std::string_view templ, char* buffer) {
  std::size_t at = 0;
  for (int skipped = 0; skipped < index && at < templ.size(); ++skipped)
    at += ElementLength(templ, at);
  std::size_t length = at < templ.size() ? ElementLength(templ, at) : 0;
  if (length > 0 && templ[at] == '(' && templ[at + length - 1] == ')') --length;
  if (length > kElementBuffer - 1) length = kElementBuffer - 1;
  std::memcpy(buffer, templ.data() + at, length);
  buffer[length] = '\0';
}

char TMatrix::ResolveElement(const char* element) {
  std::string_view text(element);
  if (text.find_first_of(kSpecial) == std::string_view::npos) return text.empty() ? '\0' : text[0];
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') return i + 1 < text.size() ? text[i + 1] : '\0';
    if (c == '(') {
      std::size_t n = text.size() - i - 1;
      return n == 0 ? '\0' : text[i + 1 + NextRandom() % n];
    }
    if (unsigned mask = WildcardMask(c)) return RandomChar(mask);
  }
  return '\0';
}

char TMatrix::RandomChar(unsigned mask) {
  for (;;) {
    char x = static_cast<char>(NextRandom() % 122);
    if (((mask & 4) && IsDigit(x)) || ((mask & 1) && IsUpper(x)) || ((mask & 2) && IsLower(x)) ||
        ((mask & 16) && IsPunct(x)) || ((mask & 128) && IsXDigit(x)) || (mask == 3 && IsAlpha(x)) ||
        (mask == 7 && IsAlnum(x)))
      return x;
  }
}

bool TMatrix::MakeReply(const char* challenge) {
  if (!challenge) return Count <= 0;
  const int elements = CountElements(Template);
  const char* p = challenge;
  for (int32_t answered = 0; answered < Count; ++answered) {
    // Blanks and line ends after the last number are not one more number: a
    // line pasted with or without its line end gets the same reply.
    if (p[std::strspn(p, " \t\r\n")] == '\0') return true;
    while (*p != '\0' && !IsDigit(*p)) ++p;
    const TDecimal number = ReadDecimal(p);
    p += number.Digits;
    // From 1 the highest position is the number of elements, from 0 one less.
    const auto count = static_cast<uint64_t>(elements);
    if (number.Overflow || (First == kFromZero ? number.Value >= count : number.Value > count))
      return false;
    const int index = static_cast<int>(number.Value) - (First == kFromZero ? 0 : 1);
    GetElement(index, Template, Element);  // from 1, a 0 reads as the first element
    ReplyText.push_back(ResolveElement(Element));
  }
  return true;
}

}  // namespace korvel
