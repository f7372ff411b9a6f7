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
//   but blanks and line ends), and names the record's TAG and prompt.
// - From the third reply for one record in a session the key must be pressed
//   twice, and --auto types none.
// - A record with an empty prompt answers only the first challenge after a
//   trigger of its own.
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
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "OperatorInput.h"
#include "ZORVAModule.h"

namespace korvel::cli {

struct TSessionSettings {
  char Key = '\x07';        // Ctrl-G types an offered reply
  bool Auto = false;        // type the replies the operator asked for without the key
  int64_t QuietMs = 400;    // a partial line counts, and an offer covered by the far
                            // end's output is drawn again, once nothing came this long
  int64_t OfferMs = 60000;  // an offer lapses after this long
  int64_t AskedMs = 30000;  // how long after the operator's trigger a challenge is asked for
  int64_t ShownMs = 500;    // how long an offer stands on the screen before the key types it
  int FreeReplies = 2;      // replies per record and session before the key is needed twice
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
  TSessionOutput() { Secrets.reserve(16); }  // never moved: no copy left behind
  ~TSessionOutput();                         // wipes the replies it holds
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
  std::optional<int64_t> ShownAt;  // drawn, and not covered by output since
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

  // The session starts: a node may challenge at login from now.
  void Start(int64_t now);
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
  void TypeReply(TSessionAnswer& answer, TSessionOutput& out);
  void Draw(int64_t now, TSessionOutput& out);
  void DropOffer();
  bool Within(const TAsked& asked, int64_t now) const;

  TSessionSettings Settings;
  TSessionAnswerer Answer;
  TOperatorInput Input;
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
  bool AfterCR = false;  // an LF right after CR ends no second line
  std::string Echo;      // the last line korvel typed, until its echo is seen
  std::string Held;      // received text that may be the start of that echo
};

// The bytes that put the operator's terminal back to plain visible text
// before korvel draws a status line: attributes off (hidden, colours), the
// ASCII character set in G0, and G0 in use.
inline constexpr char kPlainText[] = "\x1b[0m\x1b(B\x0f";

}  // namespace korvel::cli
