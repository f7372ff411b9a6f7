// Making the reply to an isolated challenge, and the automatic reply that
// searches, isolates and answers a received text in one call.
#include <climits>
#include <cstring>
#include <string>

#include "CallerBuffer.h"
#include "ZORVAModule.h"
#include "Decimal.h"
#include "Digest.h"
#include "Matrix.h"
#include "WeightedSum.h"

namespace korvel {
namespace {

constexpr int32_t kWeights = 5;  // ITANET and FLEXNET challenges have five numbers
constexpr unsigned kWorkLength = 256;

// The matrix length as a decimal number: leading blanks and a sign allowed,
// digits up to the first other character, 0 without digits. Out-of-range
// values stop at the limits of a signed 32-bit integer.
int32_t ReadMatrixLen(const std::string& text) {
  std::size_t p = 0;
  while (p < text.size() && (text[p] == ' ' || (text[p] >= '\t' && text[p] <= '\r'))) ++p;
  bool negative = false;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
  const auto value =
      static_cast<int32_t>(ReadDecimal(std::string_view(text).substr(p)).AtMost(INT32_MAX));
  return negative ? -value : value;
}

}  // namespace

bool TZORVAModule::MakeChallengeReply(char* challenge, char* reply, unsigned length, int position) {
  if (position == -1 || !ClientPasswords->Valid(position) || !challenge) return false;
  const TClientPassword& record = ClientPasswords->At(position);
  std::string answer;
  switch (record.Type) {
    case kNetromMatrix: {
      TMatrix matrix(ReadMatrixLen(record.MatrixLen), record.String.c_str());
      matrix.MakeReply(challenge);  // a partial reply counts as it stands
      answer = matrix.Reply();
      break;
    }
    case kMD2: answer = TMD2Digest(std::string(challenge) + record.String).HexDigest(); break;
    case kMD5: answer = TMD5Digest(std::string(challenge) + record.String).HexDigest(); break;
    case kItanet: {
      TItanetPassword itanet(kWeights, record.String.c_str());
      itanet.MakeReply(challenge);
      answer = itanet.Reply();
      break;
    }
    case kFlexnet: {
      TFlexnetPassword flexnet(kWeights, record.String.c_str());
      flexnet.MakeReply(challenge);
      answer = flexnet.Reply();
      break;
    }
    default: return false;
  }
  // The caller sees a zero-terminated text: a zero character from the matrix
  // ends the reply there.
  answer.resize(std::strlen(answer.c_str()));
  if (answer.empty()) return false;
  return CopyToCaller(answer, reply, length);
}

bool TZORVAModule::AutoReply(const char* text, char* reply, unsigned length) {
  char challenge[kWorkLength + 1] = {};
  char answer[kWorkLength + 1] = {};
  int position = -1;
  int counter = 0;
  if (!text || !SearchChallenge(text, position)) return false;
  if (!IsolateChallenge(text, challenge, kWorkLength, position, counter)) return false;
  if (counter != 0) {
    // ITANET and FLEXNET: isolation cut nothing out. Their numbers are those
    // that follow the record's prompt (digits inside the prompt do not count).
    std::string_view received(text);
    const std::string& prompt = ClientPasswords->At(position).Challenge;
    std::string_view rest = received.substr(received.find(prompt) + prompt.size());
    if (!CopyToCaller(rest, challenge, kWorkLength)) return false;
  }
  if (!MakeChallengeReply(challenge, answer, kWorkLength, position)) return false;
  return CopyToCaller(answer, reply, length);
}

}  // namespace korvel
