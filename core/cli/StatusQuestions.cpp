#include "StatusQuestions.h"

#include <algorithm>

#include "Wipe.h"

namespace korvel::cli {
namespace {

constexpr char kEsc = 0x1B, kCan = 0x18, kSub = 0x1A;
// Longer sequences are kept only in part: no terminal makes sense of them,
// and the part decides.
constexpr std::size_t kSequenceLimit = 4096;

}  // namespace

TStatusQuestions::~TStatusQuestions() { Wipe(Sequence); }

void TStatusQuestions::Begin(TState state, char byte) {
  State = state;
  Sequence.assign(1, byte);
  Controls.clear();
  FirstDone = false;
  First = 0;
}

void TStatusQuestions::Flush(std::string& out) {
  out += Sequence;
  Wipe(Sequence);
  State = TState::Ground;
}

std::string TStatusQuestions::Filter(std::string_view text, int& asked) {
  asked = 0;
  std::string out;
  out.reserve(Sequence.size() + text.size());
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (State == TState::Ground) {
      // 0x9B is CSI in one byte to a terminal that takes 8-bit controls,
      // also inside what would be a UTF-8 letter: it starts a sequence here
      // too, which goes on unchanged unless it is a status question.
      if (c == kEsc || b == 0x9B)
        Begin(c == kEsc ? TState::Escape : TState::Csi, c);
      else
        out += c;
      continue;
    }
    if (c == kEsc) {  // a new sequence cancels this one
      Flush(out);
      Begin(TState::Escape, c);
    } else if (c == kCan || c == kSub) {
      Sequence += c;
      Flush(out);
    } else if (b < 0x20 || b == 0x7F || (State == TState::Csi && b >= 0x80)) {
      // Acted on (controls) or ignored inside the sequence, which goes on.
      if (Sequence.size() < kSequenceLimit) Sequence += c;
      if (b < 0x20 && Controls.size() < kSequenceLimit) Controls += c;
    } else if (State == TState::Escape) {
      Sequence += c;
      if (c == '[')
        State = TState::Csi;
      else
        Flush(out);  // another escape sequence
    } else if (b <= 0x3F) {  // parameters (and intermediates, which make no difference here)
      if (c >= '0' && c <= '9' && !FirstDone) First = std::min(First * 10 + (c - '0'), 1000);
      if (c == ';' || c == ':' || b < 0x30) FirstDone = true;
      if (Sequence.size() < kSequenceLimit) Sequence += c;
    } else if (c == 'n' && First == 5) {  // the final byte of a status question
      ++asked;
      out += Controls;
      Wipe(Sequence);
      State = TState::Ground;
    } else {
      Sequence += c;
      Flush(out);
    }
  }
  return out;
}

}  // namespace korvel::cli
