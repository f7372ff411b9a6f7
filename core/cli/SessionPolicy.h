// korvel session's rules for what it types into the connection, and when.
// Everything the far end prints may come from an attacker (the radio path is
// unauthenticated, and the operator may be connected through someone else's
// node), so a reply goes out only when the operator asked for a challenge or
// accepted an offer seen on the screen, and a far end learns no more of a
// password than the operator chose to give:
//
// - --auto types a reply only for the first challenge after the operator's
//   own line asked for one (its first word is a trigger: sys, sysop, priv,
//   password, sy, @, or the record's own), within AskedMs; at the start of
//   the session and after a c or connect line, for nodes that challenge at
//   login. Everything else is an offer.
// - The terminal's own reports on the input are never the operator: not the
//   key, not part of the operator's line (TOperatorInput).
// - The key types an offer only once it has stood on the screen, unchanged,
//   for ShownMs; the offer is drawn again after the far end's output (all
//   but blanks and line ends), and names the record's TAG and prompt. "On
//   the screen" is the terminal's word, not korvel's: after drawing, korvel
//   asks the terminal for its status (ESC [ 5 n), which a terminal answers
//   only once it has dealt with all that came before, however slowly; the
//   time counts from the answer. The answers to korvel's questions stay
//   with korvel, those to the far end's own go to it in turn. With a
//   terminal that leaves korvel's first question unanswered for SyncMs,
//   the time counts from the drawing.
// - From the third reply for one record in a session the key must be pressed
//   twice, and --auto types none.
// - A record with an empty prompt answers only the first challenge after a
//   trigger (a built-in one or its own), never at login.
// - Nothing is typed into a half-typed line of the operator's.
// - A line without a line end is answered only when its challenge stands
//   whole; korvel's own typed line, echoed back, is not read as received text;
//   the operator's Enter ends a received partial line.
// - One answer per received line.
//
// Times are milliseconds on a clock the caller gives, so that tests need not
// wait.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "OperatorInput.h"
#include "StatusQuestions.h"
#include "ZORVAModule.h"

namespace korvel::cli {

// The bytes that put the operator's terminal back to plain visible text at
// the bottom of the screen before korvel draws a status line: any string or
// sequence the far end left open ended (CAN, ST), VT52 mode left (ESC <:
// there the terminal would not read the rest), the colour palette and the
// default colours as configured (OSC 104, 110, 111), attributes off, the
// ASCII character set in G0 and G0 in use, insert mode off, origin mode,
// left and right margins and a scrolling region off, line wrap on, the
// cursor on the last line.
inline constexpr char kPlainText[] =
    "\x18\x1b\\\x1b<\x1b]104\x1b\\\x1b]110\x1b\\\x1b]111\x1b\\\x1b[0m\x1b(B\x0f\x1b[4l\x1b[?6l"
    "\x1b[?69l\x1b[?7h\x1b[r\x1b[9999;1H";
// The same for the Linux console, which knows no OSC but ESC ] R (the
// palette as configured) and would print the rest; white on black named,
// since ESC [ 8 ] there makes any colours the default ones.
inline constexpr char kPlainTextLinuxConsole[] =
    "\x18\x1b]R\x1b[0;37;40m\x1b(B\x0f\x1b[4l\x1b[?6l\x1b[?7h\x1b[r\x1b[9999;1H";
// The status question korvel asks the terminal after drawing (DSR).
inline constexpr char kStatusQuestion[] = "\x1b[5n";

struct TSessionSettings {
  char Key = '\x07';        // Ctrl-G types an offered reply
  bool Auto = false;        // type the replies the operator asked for without the key
  int64_t QuietMs = 400;    // a partial line counts, and an offer covered by the far
                            // end's output is drawn again, once nothing came this long
  int64_t OfferMs = 60000;  // an offer lapses after this long
  int64_t AskedMs = 30000;  // how long after the operator's trigger a challenge is asked for
  int64_t ShownMs = 500;    // how long an offer stands on the screen before the key types it
  int FreeReplies = 2;      // replies per record and session before the key is needed twice
  int64_t SyncMs = 2000;    // how long the terminal may take to answer korvel's first question
  const char* PlainText = kPlainText;  // put before each status line
};

// What the automatic reply made of a received line, for the record that
// answered it.
struct TSessionAnswer {
  int Record = -1;       // the record's position: the budget counts per record
  std::string Tag;       // the record's TAG, escaped for the terminal
  std::string Prompt;    // the record's prompt, escaped; empty for an empty prompt
  std::string Trigger;   // the record's own trigger word, or ""
  std::string Line;      // what korvel types: the reply in the record's reply line
  std::string Reply;     // the bare reply
  bool Complete = true;  // the challenge stands whole (always, in a line that ended)
};
// Answers a received line; `ended` is false for a prompt that may still grow.
using TSessionAnswerer =
    std::function<std::optional<TSessionAnswer>(const std::string& line, bool ended)>;

// The answers of korvel's automatic reply over the module's records, for
// korvel session: the record, its TAG and prompt escaped, its trigger, the
// reply in its reply line, and whether a partial line's challenge is whole.
TSessionAnswerer SessionAnswerer(TZORVAModule& module);

// What the terminal is to do after an event.
struct TSessionOutput {
  // Never moved to larger storage, which would leave a copy of a reply behind.
  TSessionOutput() {
    ToConnection.reserve(8192);
    Secrets.reserve(16);
  }
  ~TSessionOutput();  // wipes the replies it holds
  TSessionOutput(const TSessionOutput&) = delete;
  TSessionOutput& operator=(const TSessionOutput&) = delete;

  std::string ToConnection;          // the operator's bytes and the lines korvel typed
  std::string ToOperator;            // korvel's status lines
  std::vector<std::string> Secrets;  // replies korvel typed (bare and as lines), for the log
};

// A reply offered to the operator.
struct TSessionOffer {
  TSessionAnswer Answer;
  int64_t Lapses = 0;
  std::optional<int64_t> ShownAt;  // shown, and not covered by output since
  int64_t DrawnAt = 0;             // last drawn
  int Serial = 0;                  // of its last drawing, as korvel's question names it
  bool Twice = false;              // the key must be pressed twice
  bool Armed = false;              // pressed once
  std::string Why;                 // why korvel did not type it by itself, or ""
};

class TSessionPolicy {
 public:
  TSessionPolicy(TSessionSettings settings, TSessionAnswerer answer);
  ~TSessionPolicy();  // wipes the replies it still holds
  TSessionPolicy(const TSessionPolicy&) = delete;
  TSessionPolicy& operator=(const TSessionPolicy&) = delete;

  // The session starts: a node may challenge at login from now, and korvel
  // asks the terminal its first status question.
  void Start(int64_t now, TSessionOutput& out);
  // The connection's text as the terminal is to get it: the far end's
  // status questions taken out and answered by korvel into the connection.
  // What it returns is what Received takes.
  std::string Screen(std::string_view text, TSessionOutput& out);
  // Text the connection printed, at time `now`.
  void Received(std::string_view text, int64_t now, TSessionOutput& out);
  // What the operator's terminal sent; it goes on to the connection, but for
  // the key while an offer stands.
  void Typed(std::string_view keys, int64_t now, TSessionOutput& out);
  // Time passed: a partial line counts, a covered offer is drawn again, an
  // offer lapses.
  void Tick(int64_t now, TSessionOutput& out);
  // When Tick is due next, or -1 while nothing waits for time.
  int64_t NextDue() const;
  bool OfferPending() const { return Offer.has_value(); }

  // More than any challenge line; a longer line keeps its last part.
  static constexpr std::size_t kLineLimit = 1024;

 private:
  struct TAsked {
    bool Valid = false;
    int64_t At = 0;
    std::string Line;  // the operator's line (empty for the start or a connect line)
  };

  void ReceivedChar(char c, int64_t now, TSessionOutput& out);
  void LineEnded(int64_t now, TSessionOutput& out);
  void Consider(int64_t now, bool ended, TSessionOutput& out);
  void OperatorEntered(int64_t now);
  void KeyPressed(int64_t now, TSessionOutput& out);
  // The operator's input, sorted: what goes on, the key, the line.
  void Take(const std::vector<TInputByte>& input, int64_t now, TSessionOutput& out);
  void TypeReply(TSessionAnswer& answer, int64_t now, TSessionOutput& out);
  void Draw(int64_t now, TSessionOutput& out);
  // A report the terminal sent whole: passed on, or korvel's answer.
  void Report(int64_t now, TSessionOutput& out);
  static bool MayBeStatusAnswer(const std::string& report);
  // Whether the terminal answers korvel's questions (after SyncMs, a
  // terminal that has not is taken for one that never does).
  bool TerminalAnswers(int64_t now);
  void DropOffer();
  bool Within(const TAsked& asked, int64_t now) const;

  TSessionSettings Settings;
  TSessionAnswerer Answer;
  TOperatorInput Input;
  // Since when a sequence cut at the end of a read is held back; after
  // kHoldMs without its rest it was a key (Escape alone, Alt and a key).
  std::optional<int64_t> HoldingSince;
  static constexpr int64_t kHoldMs = 50;
  TOperatorLine OperatorLine;
  TAsked Command;              // the operator's last line
  TAsked Login;                // the start, or the last connect line
  std::map<int, int> Replies;  // typed per record
  std::optional<TSessionOffer> Offer;
  bool RedrawDue = false;

  std::string Line;            // the line received so far
  bool LineAnswered = false;   // it got its one answer
  bool LineConsidered = true;  // it has not grown since it was considered
  int64_t LastReceived = 0;
  bool AfterCR = false;   // an LF right after CR ends no second line
  std::string Echo;       // the last line korvel typed, until its echo is seen
  int64_t EchoUntil = 0;  // or until then, if the far end does not echo
  std::string Held;       // received text that may be the start of that echo

  // The status answers awaited, in the order korvel's questions went out:
  // the serial of the drawing (-1 for the first question, at the start). A
  // terminal far behind gets no more questions; its offers wait.
  std::deque<int> Questions;
  static constexpr std::size_t kQuestionLimit = 64;
  TStatusQuestions FarEndQuestions;
  int DrawSerial = 0;
  enum class TTerminal { Unknown, Answers, Silent } Terminal = TTerminal::Unknown;
  int64_t SyncDeadline = 0;
  std::string ReportHeld;    // a report being read, until it ends
};

}  // namespace korvel::cli
