// What arrives on korvel session's standard input, sorted into what the
// operator typed and what the terminal sent by itself. A terminal answers
// queries that the far end can print (ESC [ c asks for the device
// attributes, ESC [ 6 n for the cursor position, OSC 11 ; ? for the
// background colour ...) with reports of its own on the same input, and
// reports focus changes and mouse clicks there. All of it goes on to the
// connection unchanged; only the keys the operator typed outside any
// sequence may be korvel's key or part of the operator's line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvel::cli {

enum class TInputKind {
  Typed,     // a byte outside any sequence, typed by the operator
  Key,       // part of a key the terminal sends as a sequence (arrows, F1, Alt-x)
  Report,    // part of a report or string the terminal sends by itself
  Doubtful,  // outside any sequence, but read together with a report: a
             // terminal that lets the far end put text into a report (a
             // window title) sends it this way, so it is not the operator's
};

struct TInputByte {
  char Byte;
  TInputKind Kind;
  bool Ends = false;  // the last byte of a key's or a report's sequence
};

// Sorts the input, one read at a time; a sequence cut between two reads goes
// on in the next one. A terminal switched to 8-bit controls (by the far end:
// ESC SP G) starts its reports with a single byte (0x9B for CSI, 0x9D for
// OSC ...); such a byte counts as one where it is no part of a UTF-8
// character.
class TOperatorInput {
 public:
  // The bytes of `chunk` sorted. An escape or control sequence not yet whole
  // at its end is held back and sorted with the next chunk, so that a report
  // cut between two reads is still read as one.
  std::vector<TInputByte> Sort(std::string_view chunk);
  // Whether bytes are held back; the caller releases them when no more come
  // soon: then they were keys (the Escape key alone, Alt and a key).
  bool Holding() const { return !Carry.empty(); }
  std::vector<TInputByte> Release();

 private:
  enum class TState { Ground, Escape, Csi, Ss3, String, StringEscape, Mouse };
  // Gives the bytes of the sequence that started at `from` (in `out`) the
  // kind its final byte says it is, and goes back to ground.
  void EndSequence(std::vector<TInputByte>& out, std::size_t from, TInputKind kind);
  void Enter(TState state, std::vector<TInputByte>& out, TInputKind kind);
  void Mark(std::vector<TInputByte>& out, std::size_t from, TInputKind kind);
  // Whether the byte goes on a UTF-8 character begun before it; counts the
  // bytes such a character still takes.
  bool InCharacter(char byte);

  std::vector<TInputByte> SortBytes(std::string_view chunk);

  std::string Carry;  // a sequence cut at the end of the last chunk
  TState State = TState::Ground;
  std::size_t Start = 0;         // where the sequence began in this read's output
  std::string Parameters;        // of the CSI sequence being read
  int MouseBytes = 0;            // left of an X10 mouse report (ESC [ M b x y)
  std::size_t StringLength = 0;  // of the OSC, DCS, ... string being read
  int CharacterLeft = 0;         // bytes a UTF-8 character still takes
};

// The operator's line as far as the bytes typed into the connection show
// it: printable characters up to Enter, edited by Backspace/DEL and cleared
// by Ctrl-U or Ctrl-C. A key sent as a sequence (an arrow, history) or a
// line read together with a report leaves what the connection holds
// unknown: the line is then "unsure" until it is sent or cleared.
class TOperatorLine {
 public:
  // One byte the operator typed (TInputKind::Typed or Doubtful).
  // Returns true when it was Enter; Entered() then tells the line sent.
  bool Add(char byte, bool sure);
  void MakeUnsure() { Unsure = true; }
  // Whether the operator has begun a line that is not sent yet.
  bool HalfTyped() const { return !Text.empty() || Unsure; }
  // The line the last Enter sent, and whether it is known for sure.
  const std::string& Entered() const { return Last; }
  bool EnteredSure() const { return LastSure; }

 private:
  static constexpr std::size_t kLineLimit = 256;  // longer lines trigger nothing

  std::string Text;
  bool Unsure = false;
  bool AfterCR = false;  // an LF right after CR is no second Enter
  std::string Last;
  bool LastSure = false;
};

}  // namespace korvel::cli
