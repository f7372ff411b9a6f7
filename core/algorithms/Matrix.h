// NET/ROM matrix replies: each number of the challenge names a position in
// the password template, and the reply is the character found at each
// position, in the order of the numbers. Positions count from 1 (NET/ROM,
// where a 0 names the first position too) or, for nodes such as DXSpider and
// XRouter, from 0.
//
// The template is a row of elements: a plain character; a double quote and
// the character after it (taken literally); a group "(...)" answering one of
// its characters at random; or a wildcard answering a random character of its
// class: # digit, * and $ printable, + letter or digit, < lowercase,
// > uppercase, ? hex digit, @ letter. A lone ")" answers the zero character.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "Wipe.h"

namespace korvel {

class TMatrix {
 public:
  enum TFirst { kFromOne, kFromZero };
  TMatrix(int32_t count, const char* templ, TFirst first = kFromOne);
  // The password and the reply do not stay in memory after the object.
  ~TMatrix() {
    Wipe(Template);
    Wipe(ReplyText);
    Wipe(Element, sizeof Element);
  }
  TMatrix(const TMatrix&) = delete;
  TMatrix& operator=(const TMatrix&) = delete;

  // Appends one character for each of the first `count` numbers of the
  // challenge. Any non-digit separates numbers; text other than blanks and
  // line ends after the last number counts as one more number 0. False at the
  // first number beyond the template (the characters before it stay in
  // Reply). Numbers too large for a signed 32-bit integer count as beyond the
  // template.
  bool MakeReply(const char* challenge);

  const std::string& Reply() const { return ReplyText; }

  // Exposed for tests of the element language.
  static int CountElements(std::string_view templ);
  static void GetElement(int index, std::string_view templ, char* buffer);
  static char ResolveElement(const char* element);
  static char RandomChar(unsigned mask);

  static constexpr std::size_t kElementBuffer = 32;

 private:
  int32_t Count;
  TFirst First;
  std::string Template;
  std::string ReplyText;
  char Element[kElementBuffer];
};

}  // namespace korvel
