// korvel session: the records' reply lines and trigger words, and the key
// that types an offered reply.
#pragma once

#include <optional>
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

// The commands with which the operator asks a node for a challenge (BPQ's
// PASSWORD, TheNetNode's and OpenBCM's SYS, FlexNet's SY, XRouter's @, ...):
// the first word of the operator's line, letter case ignored.
inline constexpr const char* kBuiltInTriggers[] = {"sys", "sysop", "priv", "password", "sy", "@"};
// The operator's lines after which a node may challenge at login (JNOS,
// axspawn): connect, and c.
inline constexpr const char* kConnectWords[] = {"c", "connect"};

// Why a record's trigger word cannot be used, or "" when it can: one word of
// printable characters (or empty: none).
std::string TriggerProblem(const std::string& word);
// Whether the operator's line starts with `word` as its first word (blanks
// before it skipped), letter case ignored.
bool FirstWordIs(std::string_view line, std::string_view word);

// The name of a key for the status line: "Ctrl-G" for a control character.
std::string KeyName(char key);
// Reads a --key value: "^G", "ctrl-g" or "C-g" (any letter case), or the
// one character itself. A key must be a control character that typing a line
// does not need: printable characters, ESC (which starts the terminal's
// reports and the keys it sends as sequences), Tab, CR, LF, Backspace, DEL
// and Ctrl-] (telnet's escape) are refused.
std::optional<char> ParseKey(const std::string& text);

}  // namespace korvel::cli
