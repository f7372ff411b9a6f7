// Finding which client password a received text asks for, and cutting the
// challenge out of it.
#include <string_view>

#include "AnsweredNumbers.h"
#include "CallerBuffer.h"
#include "ZORVAModule.h"
#include "CharClass.h"
#include "WeightedSum.h"

namespace korvel {
namespace {

bool Matches(const TClientPassword& record, std::string_view text) {
  return text.find(record.Challenge) != std::string_view::npos;
}

// The rest of the text from the first digit after the prompt.
bool IsolateMatrix(std::string_view text, const TClientPassword& record, std::string_view& rest) {
  std::size_t at = text.find(record.Challenge);
  if (at == std::string_view::npos) return false;
  std::size_t p = at + record.Challenge.size();
  while (p < text.size() && !IsDigit(text[p])) ++p;
  if (p == text.size()) return false;
  rest = text.substr(p);
  return true;
}

// The challenge in the last pair of brackets, trimmed to letters and digits
// at both ends. `rest` is the text from the challenge's first character to the
// end of the received text, which the length rule measures.
bool IsolateBracketed(std::string_view text, char open, char close, std::string_view& rest,
                      std::string_view& challenge) {
  std::size_t start = text.rfind(open);
  if (start == std::string_view::npos || text.find(close) == std::string_view::npos) return false;
  while (start < text.size() && !IsAlnum(text[start])) ++start;
  if (start == text.size()) return false;
  rest = text.substr(start);
  std::size_t end = rest.find(close);
  if (end == std::string_view::npos) return false;
  while (end > 0 && !IsAlnum(rest[end - 1])) --end;
  challenge = rest.substr(0, end);  // never empty: rest starts with a letter or digit
  return true;
}

// MD5 and MD2 challenges in either kind of bracket: in the preferred kind
// (MD5 angle brackets, MD2 square ones) wherever that finds a challenge, so
// every line answered before is answered the same; else in the other kind, as
// the MD5 logins of OpenBCM, FBB and axspawn print it in square brackets.
bool IsolateEitherBracketed(std::string_view text, bool squareFirst, std::string_view& rest,
                            std::string_view& challenge) {
  const char open[2] = {'<', '['}, close[2] = {'>', ']'};
  const int first = squareFirst ? 1 : 0;
  return IsolateBracketed(text, open[first], close[first], rest, challenge) ||
         IsolateBracketed(text, open[1 - first], close[1 - first], rest, challenge);
}

// Whether the text holds `count` runs of digits, each ended by a character
// that is not a digit.
bool EndedNumbers(std::string_view text, int32_t count) {
  int32_t ended = 0;
  for (std::size_t at = 0; at < text.size() && ended < count;) {
    if (!IsDigit(text[at])) {
      ++at;
      continue;
    }
    while (at < text.size() && IsDigit(text[at])) ++at;
    if (at < text.size()) ++ended;
  }
  return ended >= count;
}

// Whether every opening bracket of the kind has a closing one after it.
bool Closed(std::string_view text, char open, char close) {
  std::size_t last = text.rfind(open);
  return last == std::string_view::npos || text.find(close, last) != std::string_view::npos;
}

}  // namespace

bool TZORVAModule::ChallengeComplete(const char* text, int position) const {
  if (!text || !ClientPasswords->Valid(position)) return false;
  const TClientPassword& record = ClientPasswords->At(position);
  std::string_view received(text);
  std::size_t at = received.find(record.Challenge);
  if (at == std::string_view::npos) return false;
  std::string_view after = received.substr(at + record.Challenge.size());
  switch (record.Type) {
    case kNetromMatrix:
    case kMatrix0: return EndedNumbers(after, ReadMatrixLen(record.MatrixLen));
    case kItanet:
    case kFlexnet: return EndedNumbers(after, kWeightedSumNumbers);
    case kFlexnetDigits: {
      std::string_view run = FirstFiveDigitRun(after);
      return !run.empty() && run.data() + run.size() < after.data() + after.size();
    }
    default: return Closed(received, '[', ']') && Closed(received, '<', '>');
  }
}

bool TZORVAModule::SearchChallenge(const char* text, int& position) const {
  if (text) {
    std::string_view received(text);
    const TClientPasswordList& list = *ClientPasswords;
    if (position == -1) {
      int found =
          list.FirstThat([&](const TClientPassword& record) { return Matches(record, received); });
      if (found >= 0) {
        position = found;
        return true;
      }
    } else if (list.Valid(position) && Matches(list.At(position), received)) {
      return true;
    }
  }
  position = -1;
  return false;
}

bool TZORVAModule::IsolateChallenge(const char* text, char* challenge, unsigned length,
                                    int position, int& counter) const {
  if (position == -1 || !ClientPasswords->Valid(position) || !text) return false;
  const TClientPassword& record = ClientPasswords->At(position);
  std::string_view received(text);
  std::string_view rest, cut;
  switch (record.Type) {
    case kNetromMatrix:
    case kMatrix0:
      if (!IsolateMatrix(received, record, rest)) return false;
      return CopyToCaller(rest, challenge, length);
    case kMD2:
    case kMD5:
    case kNosMD5: {
      const bool found = record.Type == kNosMD5
                             ? IsolateBracketed(received, '[', ']', rest, cut)
                             : IsolateEitherBracketed(received, record.Type == kMD2, rest, cut);
      if (!found || rest.size() > length) return false;
      return CopyToCaller(cut, challenge, length);
    }
    case kFlexnetDigits: {
      // The first run of exactly five digits after the prompt.
      std::size_t at = received.find(record.Challenge);
      if (at == std::string_view::npos) return false;
      cut = FirstFiveDigitRun(received.substr(at + record.Challenge.size()));
      if (cut.empty()) return false;
      return CopyToCaller(cut, challenge, length);
    }
    case kItanet:
    case kFlexnet:
      // Nothing to cut out: these challenges are the numbers of the line.
      counter = static_cast<int>(static_cast<unsigned>(counter) - 1u);
      return true;
    default: return false;
  }
}

}  // namespace korvel
