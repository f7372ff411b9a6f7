// Making the reply to an isolated challenge, and the automatic reply that
// searches, isolates and answers a received text in one call.
#include <climits>
#include <cstring>
#include <string>

#include "AnsweredNumbers.h"
#include "CallerBuffer.h"
#include "CharClass.h"
#include "ZORVAModule.h"
#include "Decimal.h"
#include "Digest.h"
#include "Matrix.h"
#include "WeightedSum.h"
#include "Wipe.h"

namespace korvel {

int32_t ReadMatrixLen(const std::string& text) {
  std::size_t p = 0;
  while (p < text.size() && (text[p] == ' ' || (text[p] >= '\t' && text[p] <= '\r'))) ++p;
  bool negative = false;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
  const auto value =
      static_cast<int32_t>(ReadDecimal(std::string_view(text).substr(p)).AtMost(INT32_MAX));
  return negative ? -value : value;
}

namespace {

bool IsMatrix(const TClientPassword& record) {
  return record.Type == kNetromMatrix || record.Type == kMatrix0;
}

// Whether the text after the record's prompt (which occurs in it) starts,
// after blanks and line ends, with a digit: how a matrix challenge reads.
bool NumberFollowsPrompt(std::string_view text, const std::string& prompt) {
  std::size_t p = text.find(prompt) + prompt.size();
  while (p < text.size() &&
         (text[p] == ' ' || text[p] == '\t' || text[p] == '\r' || text[p] == '\n'))
    ++p;
  return p < text.size() && IsDigit(text[p]);
}

}  // namespace

bool TZORVAModule::MakeChallengeReply(char* challenge, char* reply, unsigned length, int position) {
  if (position == -1 || !ClientPasswords->Valid(position) || !challenge) return false;
  const TClientPassword& record = ClientPasswords->At(position);
  std::string answer, digested;
  TWipeAtEnd wipeAnswer(answer), wipeDigested(digested);
  switch (record.Type) {
    case kNetromMatrix:
    case kMatrix0: {
      TMatrix matrix(ReadMatrixLen(record.MatrixLen), record.String.c_str(),
                     record.Type == kMatrix0 ? TMatrix::kFromZero : TMatrix::kFromOne);
      matrix.MakeReply(challenge);  // a partial reply counts as it stands
      answer = matrix.Reply();
      break;
    }
    case kMD2:
      digested = std::string(challenge) + record.String;
      answer = TMD2Digest(digested).HexDigest();
      break;
    case kMD5:
      digested = std::string(challenge) + record.String;
      answer = TMD5Digest(digested).HexDigest();
      break;
    case kItanet: {
      TItanetPassword itanet(kWeightedSumNumbers, record.String.c_str());
      itanet.MakeReply(challenge);
      answer = itanet.Reply();
      break;
    }
    case kFlexnet: {
      TFlexnetPassword flexnet(kWeightedSumNumbers, record.String.c_str());
      flexnet.MakeReply(challenge);
      answer = flexnet.Reply();
      break;
    }
    case kNosMD5:
      if (!NosMD5Reply(challenge, record.String, answer)) return false;
      break;
    case kFlexnetDigits:
      if (!FlexnetDigitsReply(challenge, record.String, answer)) return false;
      break;
    default: return false;
  }
  // The caller sees a zero-terminated text: a zero character from the matrix
  // ends the reply there.
  answer.resize(std::strlen(answer.c_str()));
  if (answer.empty()) return false;
  return CopyToCaller(answer, reply, length);
}

bool TZORVAModule::AnswerWith(const char* text, int position, char* answer) {
  char challenge[kWorkLength + 1] = {};
  int counter = 0;
  if (!IsolateChallenge(text, challenge, kWorkLength, position, counter)) return false;
  if (counter != 0) {
    // ITANET and FLEXNET: isolation cut nothing out. Their numbers are those
    // that follow the record's prompt (digits inside the prompt do not count).
    std::string_view received(text);
    const std::string& prompt = ClientPasswords->At(position).Challenge;
    std::string_view rest = received.substr(received.find(prompt) + prompt.size());
    if (!CopyToCaller(rest, challenge, kWorkLength)) return false;
  }
  return MakeChallengeReply(challenge, answer, kWorkLength, position);
}

// One node may print the same prompt for several schemes (axspawn's matrix
// and MD5 logins, OpenBCM's, FBB's matrix and MD5 on one line), so the
// records whose prompts occur are tried in list order: the first that
// answers, but a matrix record whose prompt is not followed by a number
// answers only when no later record does. With a single record whose prompt
// occurs, that record's answer (or failure) is the reply.
bool TZORVAModule::AutoReply(const char* text, char* reply, unsigned length, int* matched) {
  if (!text) return false;
  char answer[kWorkLength + 1] = {};
  char doubtful[kWorkLength + 1] = {};  // the first such matrix answer
  TWipeAtEnd wipeAnswer(answer, sizeof answer), wipeDoubtful(doubtful, sizeof doubtful);
  bool haveDoubtful = false;
  int doubtfulPosition = -1;
  for (int position = 0; position < ClientPasswords->Count(); ++position) {
    int tested = position;
    if (!SearchChallenge(text, tested) || !AnswerWith(text, position, answer)) continue;
    const TClientPassword& record = ClientPasswords->At(position);
    if (!IsMatrix(record) || NumberFollowsPrompt(text, record.Challenge)) {
      if (matched) *matched = position;
      return CopyToCaller(answer, reply, length);
    }
    if (!haveDoubtful) {
      std::memcpy(doubtful, answer, sizeof answer);
      haveDoubtful = true;
      doubtfulPosition = position;
    }
  }
  if (!haveDoubtful || !CopyToCaller(doubtful, reply, length)) return false;
  if (matched) *matched = doubtfulPosition;
  return true;
}

}  // namespace korvel
