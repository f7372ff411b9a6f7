// The far end's status questions (DSR 5, "ESC [ 5 n": "are you there?"),
// taken out of what it prints before the terminal sees them; korvel answers
// them itself ("ESC [ 0 n": all is well). The terminal's status answers are
// then all answers to korvel's own questions, which time the offers: a far
// end that could make the terminal answer would make an offer count as seen
// before it was.
#pragma once

#include <string>
#include <string_view>

namespace korvel::cli {

class TStatusQuestions {
 public:
  ~TStatusQuestions();

  // The text for the terminal: `text` without the status questions in it,
  // in every form a terminal may read as one (leading zeros, more or private
  // parameters, controls inside, CSI as one byte). A control sequence cut at the end of
  // `text` waits for the next piece. `asked` counts the questions taken out.
  std::string Filter(std::string_view text, int& asked);

  static constexpr char kAnswer[] = "\x1b[0n";

 private:
  enum class TState { Ground, Escape, Csi };
  void Begin(TState state, char byte);
  void Flush(std::string& out);

  TState State = TState::Ground;
  std::string Sequence;  // the sequence read so far, as it came
  std::string Controls;  // the controls inside it, which the terminal acts on
  bool FirstDone = false;  // the first parameter has ended
  int First = 0;           // its value, up to 1000
};

}  // namespace korvel::cli
