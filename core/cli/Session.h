// korvel session: what it makes of the text a connection receives and the
// keys the operator types, apart from the terminal itself (posix/korvel runs
// the pseudo-terminal). Times are milliseconds on a clock the caller gives,
// so that tests need not wait.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace korvel::cli {

// Why a reply-line template cannot be used, or "" when it can: it holds %s
// (the reply) exactly once, %% for a percent sign, no other % and no control
// characters.
std::string ReplyLineProblem(const std::string& templateText);
// The line typed for `reply`: the template with %s replaced, or the bare
// reply when the template is empty.
std::string ExpandReplyLine(const std::string& templateText, const std::string& reply);

struct TSessionSettings {
  char Key = '\x07';           // Ctrl-G types an offered reply
  bool Auto = false;           // type replies without the key
  int64_t QuietMs = 400;       // a partial line counts once nothing came for this long
  int64_t OfferMs = 60000;     // an offer lapses after this long
  int64_t OperatorMs = 30000;  // --auto types only this long after the operator typed
};

// The answer to a received line: the TAG of the record that answered and the
// line to type (the reply in its record's template).
struct TSessionAnswer {
  std::string Tag;
  std::string Line;
};
using TSessionAnswerer = std::function<std::optional<TSessionAnswer>(const std::string& line)>;

// What the terminal is to do after an event.
struct TSessionOutput {
  std::string ToConnection;  // typed into the connection
  std::string ToOperator;    // status lines for the operator's terminal
};

class TSessionWatcher {
 public:
  TSessionWatcher(TSessionSettings settings, TSessionAnswerer answer)
      : Settings(settings), Answer(std::move(answer)) {}

  // Text the connection printed, at time `now`.
  void Received(std::string_view text, int64_t now, TSessionOutput& out);
  // Keys the operator typed; they go on to the connection, but for the key
  // while an offer is pending, which types the offered line and CR instead.
  void Typed(std::string_view keys, int64_t now, TSessionOutput& out);
  // Time passed with nothing received or typed: a partial line counts, an
  // offer lapses.
  void Tick(int64_t now, TSessionOutput& out);
  // When Tick is due next, or -1 while nothing waits for time.
  int64_t NextDue() const;

  bool OfferPending() const { return Offer.has_value(); }

  // The received text as --log records it: the connection's echo of a line
  // korvel typed is left out (a mark stands in its place), so that the log
  // never holds a reply. Text that may still turn out to be that echo is
  // held back until it does or does not; LogRest gives it at the end.
  std::string LogText(std::string_view received);
  std::string LogRest();
  static constexpr char kEchoMark[] = "[reply typed by korvel]";

  // More than any challenge line; a longer line keeps its last part.
  static constexpr std::size_t kLineLimit = 1024;

 private:
  void LineEnded(int64_t now, TSessionOutput& out);
  void Consider(int64_t now, TSessionOutput& out);
  void ExpectEcho(const std::string& line);

  struct TOffer {
    TSessionAnswer Answer;
    int64_t Lapses;
  };

  TSessionSettings Settings;
  TSessionAnswerer Answer;
  std::string Line;             // the line received so far
  bool LineConsidered = true;   // Line has not grown since it was answered
  std::set<std::string> Given;  // lines offered or typed for the current line
  int64_t LastReceived = 0;
  std::optional<int64_t> LastTyped;
  std::optional<TOffer> Offer;
  bool AfterCR = false;  // an LF right after CR ends no second line
  std::string Echo;      // the last line korvel typed, until its echo is seen
  std::size_t EchoMatched = 0;
};

// The name of a key for the status line: "Ctrl-G" for a control character.
std::string KeyName(char key);
// Reads a --key value: "^G", "ctrl-g" or "C-g" (any letter case), or a single
// character. Ctrl-] (telnet's escape) is refused.
std::optional<char> ParseKey(const std::string& text);

}  // namespace korvel::cli
