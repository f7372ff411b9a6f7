// korvel session's policy on a clock of the test's own: what it types into
// the connection and when, against an operator and a far end that may try
// to turn it against the operator; the terminal reports on the input; the
// log; the reply-line templates, trigger words and keys.
#include <gtest/gtest.h>

#include "OperatorInput.h"
#include "Session.h"
#include "SessionLog.h"
#include "SessionPolicy.h"
#include "StatusQuestions.h"

namespace korvel::cli {
namespace {

// A received line holding "CH:x" is a challenge of the record x (position
// x), whole in a partial line once a '!' follows. The record e has an empty
// prompt, the record t its own trigger "go". The reply is "re-x"; the line
// typed for it holds the challenge again, so that its echo, read as received
// text, would be a challenge of its own.
std::optional<TSessionAnswer> FakeAnswer(const std::string& line, bool ended) {
  std::size_t at = line.find("CH:");
  if (at == std::string::npos || at + 3 >= line.size()) return std::nullopt;
  const char tag = line[at + 3];
  TSessionAnswer answer;
  answer.Record = tag;
  answer.Tag = std::string(1, tag);
  answer.Prompt = tag == 'e' ? "" : std::string("P") + tag;
  answer.Trigger = tag == 't' ? "go" : "";
  answer.Reply = std::string("re-") + tag;
  answer.Line = answer.Reply + " CH:" + tag + "!";
  answer.Complete = ended || line.find('!', at) != std::string::npos;
  return answer;
}

struct TEvent {
  int64_t At;
  char Kind;  // 'r' received, 't' typed, '.' time passes
  std::string Text;
};

struct TPolicyCase {
  const char* Name;
  bool Auto;
  std::vector<TEvent> Events;
  std::string ToConnection;  // all that went into the connection
  int Offers;                // status lines offering a reply (drawn again counts)
  int64_t SyncMs = 0;        // 0: a terminal that answers no status question
};

void PrintTo(const TPolicyCase& c, std::ostream* out) { *out << c.Name; }

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
  return n;
}

class Policy : public ::testing::TestWithParam<TPolicyCase> {};

TEST_P(Policy, TypesOnlyWhatTheOperatorAskedForOrAccepted) {
  const TPolicyCase& c = GetParam();
  TSessionSettings settings;  // quiet 400, lapse 60000, asked 30000, shown 500, 2 free
  settings.Auto = c.Auto;
  settings.SyncMs = c.SyncMs;
  TSessionPolicy policy(settings, FakeAnswer);
  TSessionOutput out;
  policy.Start(0, out);
  for (const TEvent& e : c.Events) {
    if (e.Kind == 'r') policy.Received(policy.Screen(e.Text, out), e.At, out);
    if (e.Kind == 't') policy.Typed(e.Text, e.At, out);
    if (e.Kind == '.') policy.Tick(e.At, out);
  }
  EXPECT_EQ(out.ToConnection, c.ToConnection);
  EXPECT_EQ(Count(out.ToOperator, "types the reply for"), c.Offers) << out.ToOperator;
  EXPECT_EQ(out.ToOperator.find("re-"), std::string::npos) << "the status shows the reply";
  EXPECT_EQ(Count(out.ToOperator, "[korvel:"), Count(out.ToOperator, kPlainText))
      << "a status line drawn without resetting the terminal's attributes";
}

const std::string G = "\x07";
const std::string kReplyA = "re-a CH:a!\r";

INSTANTIATE_TEST_SUITE_P(
    Cases, Policy,
    ::testing::Values(
        // The key, and what the operator must have seen before it types.
        TPolicyCase{"KeyTypesAnOfferShownLongEnough",
                    false,
                    {{0, 'r', "CH:a\r\n"}, {500, 't', G}},
                    kReplyA,
                    1},
        TPolicyCase{"KeyTooSoonIsSwallowed",
                    false,
                    {{0, 'r', "CH:a\r\n"}, {499, 't', G}, {700, 't', G}},
                    kReplyA,
                    1},
        // The terminal says when it has shown the offer: its answer to
        // korvel's status question after the drawing.
        TPolicyCase{"TheKeyCountsFromTheTerminalsAnswer",
                    false,
                    {{0, 't', "\x1b[0n"},
                     {10, 'r', "CH:a\r\n"},
                     {600, 't', G},
                     {700, 't', "\x1b[0n"},
                     {1100, 't', G},
                     {1200, 't', G}},
                    kReplyA,
                    1,
                    2000},
        // The far end's status questions, in any form, are korvel's to
        // answer: the terminal answers only korvel's, also cut in two.
        TPolicyCase{"KorvelAnswersTheFarEndsStatusQuestions",
                    false,
                    {{0, 't', "\x1b[0n"},
                     {5, 'r', "\x1b[0"},
                     {6, 'r', std::string("5;1\0n", 5)},
                     {7, 'r', "\xc4\x9b" "5n"},
                     {10, 'r', "CH:a\r\n"},
                     {1000, 't', "\x1b["},
                     {1001, 't', "0n"},
                     {1200, 't', G},
                     {1600, 't', G}},
                    "\x1b[0n\x1b[0n" + kReplyA,
                    1,
                    2000},
        // Only what may be an answer to a status question waits for its end.
        TPolicyCase{"OtherReportsPassAtOnce",
                    false,
                    {{0, 't', "\x1b]11;rgb:0/0/0"}, {1, 't', "\x1b[12"}, {60, '.', ""}},
                    "\x1b]11;rgb:0/0/0\x1b[12",
                    0},
        TPolicyCase{"ATerminalThatNeverAnswersCountsFromTheDrawing",
                    false,
                    {{0, 'r', "CH:a\r\n"}, {1900, 't', G}, {2000, 't', G}},
                    kReplyA,
                    1,
                    2000},
        TPolicyCase{"EightBitReportsAreNoTyping",
                    true,
                    {{31000, 't',
                      "\x9b?64;1c\x9d"
                      "11;rgb:0/0/0\x07"},
                     {31100, 't',
                      "\x9b"
                      "0n"},
                     {31200, 'r', "CH:a\r\n"}},
                    "\x9b?64;1c\x9d"
                    "11;rgb:0/0/0\x07",
                    1},
        TPolicyCase{"LineEndsAfterTheOfferDoNotCoverIt",
                    false,
                    {{0, 'r', "CH:a\r"}, {10, 'r', "\n \r\n"}, {500, 't', G}},
                    kReplyA,
                    1},
        TPolicyCase{"KeyPassesWithoutOffer", false, {{0, 'r', "hello\r\n"}, {900, 't', G}}, G, 0},
        TPolicyCase{"OutputCoversTheOfferUntilItIsDrawnAgain",
                    false,
                    {{0, 'r', "CH:a\r\n"},
                     {450, 'r', "\x1b[8m\x1b[1A\x1b[2K[korvel: fake]"},
                     {600, 't', G},
                     {850, '.', ""},
                     {1300, 't', G},
                     {1350, 't', G}},
                    kReplyA,
                    2},
        TPolicyCase{"ASwappedOfferMustBeSeenAnew",
                    false,
                    {{0, 'r', "CH:a\r\n"}, {600, 'r', "CH:b\r\n"}, {700, 't', G}, {1100, 't', G}},
                    "re-b CH:b!\r",
                    2},
        TPolicyCase{"OfferLapses", false, {{0, 'r', "CH:a\r\n"}, {60000, 't', G}}, G, 1},
        TPolicyCase{"FromTheThirdReplyTheKeyIsPressedTwice",
                    false,
                    {{0, 'r', "CH:a\r\n"},
                     {500, 't', G},
                     {1000, 'r', "CH:a\r\n"},
                     {1500, 't', G},
                     {2000, 'r', "CH:a\r\n"},
                     {2500, 't', G},
                     {2600, 't', G},
                     {3000, 't', G}},
                    kReplyA + kReplyA + kReplyA,
                    4},
        // --auto: only the first challenge after the operator asked for one.
        TPolicyCase{"AutoAtLoginOnceOnly",
                    true,
                    {{100, 'r', "CH:a\r\n"}, {200, 'r', "CH:b\r\n"}},
                    kReplyA,
                    1},
        TPolicyCase{"AutoOffersWhatNobodyAskedFor",
                    true,
                    {{31000, 't', "nodes\r"}, {31100, 'r', "CH:a\r\nCH:a\r\nCH:a\r\nCH:a\r\n"}},
                    "nodes\r",
                    4},
        TPolicyCase{"AutoTypesTheFirstChallengeAfterSys",
                    true,
                    {{31000, 't', "SYS\r"}, {31100, 'r', "CH:a\r\nCH:b\r\n"}},
                    "SYS\r" + kReplyA,
                    1},
        TPolicyCase{"AutoAfterAConnectLine",
                    true,
                    {{40000, 't', "c gb7abc\r"}, {40100, 'r', "CH:a\r\n"}},
                    "c gb7abc\r" + kReplyA,
                    0},
        TPolicyCase{"AutoTriggerExpires",
                    true,
                    {{31000, 't', "sys\r"}, {61001, 'r', "CH:a\r\n"}},
                    "sys\r",
                    1},
        TPolicyCase{"AutoTriggerIsTheFirstWordOnly",
                    true,
                    {{31000, 't', "system\r"}, {31100, 'r', "CH:a\r\n"}},
                    "system\r",
                    1},
        TPolicyCase{"ARecordsOwnTriggerAsksForItsChallenge",
                    true,
                    {{31000, 't', "go\r"}, {31100, 'r', "CH:t\r\n"}},
                    "go\rre-t CH:t!\r",
                    0},
        TPolicyCase{"ARecordsOwnTriggerAsksForNoOther",
                    true,
                    {{31000, 't', "go\r"}, {31100, 'r', "CH:a\r\n"}},
                    "go\r",
                    1},
        TPolicyCase{"AutoNeverTypesAThird",
                    true,
                    {{31000, 't', "sys\r"},
                     {31100, 'r', "CH:a\r\n"},
                     {32000, 't', "sys\r"},
                     {32100, 'r', "CH:a\r\n"},
                     {33000, 't', "sys\r"},
                     {33100, 'r', "CH:a\r\n"}},
                    "sys\r" + kReplyA + "sys\r" + kReplyA + "sys\r",
                    1},
        // The terminal's reports are not the operator.
        TPolicyCase{"AReportIsNoTyping",
                    true,
                    {{31000, 't', "\x1b[?1;2c"}, {31100, 'r', "CH:a\r\n"}},
                    "\x1b[?1;2c",
                    1},
        TPolicyCase{"TextReadWithAReportIsNoTrigger",
                    true,
                    {{31000, 't', "\x1b]2;x\x07sys\r\x1b\\"}, {31100, 'r', "CH:a\r\n"}},
                    "\x1b]2;x\x07sys\r\x1b\\",
                    1},
        TPolicyCase{
            "AReportEndingInTheKeyDoesNotTypeIt",
            false,
            {{0, 'r', "CH:a\r\n"},
             {600, 't', "\x1b]11;rgb:0000/0000/0000\x07"},
             {700, 't', "\x1b]11;rgb:00"},
             {710, 't', "00/0000/0000\x07"},
             {800, 't', "\x1b[5;1R"},
             {900, 't', "\x1b[0n" + G}},
            "\x1b]11;rgb:0000/0000/0000\x07\x1b]11;rgb:0000/0000/0000\x07\x1b[5;1R" + G,
            1},
        TPolicyCase{"MouseAndFocusReportsAreNoTyping",
                    true,
                    {{31000, 't', "\x1b[M !!\x1b[<0;3;4M\x1b[I"}, {31100, 'r', "CH:a\r\n"}},
                    "\x1b[M !!\x1b[<0;3;4M\x1b[I",
                    1},
        // The operator's half-typed line.
        TPolicyCase{"NothingIsTypedIntoAHalfTypedLine",
                    false,
                    {{0, 'r', "CH:a\r\n"},
                     {100, 't', "c gb7"},
                     {600, 't', G},
                     {700, 't', "\x15"},
                     {1200, 't', G}},
                    "c gb7\x15" + kReplyA,
                    2},
        TPolicyCase{"AutoWaitsForAHalfTypedLine",
                    true,
                    {{100, 't', "c gb7"}, {200, 'r', "CH:a\r\n"}},
                    "c gb7",
                    1},
        TPolicyCase{"AnArrowKeyLeavesTheLineUnsure",
                    false,
                    {{0, 'r', "CH:a\r\n"}, {100, 't', "\x1b[A"}, {600, 't', G}, {1200, 't', G}},
                    "\x1b[A",
                    3},
        // Empty prompts, partial lines, echoes.
        TPolicyCase{"AnEmptyPromptAnswersOnlyAfterItsTrigger",
                    false,
                    {{0, 'r', "CH:e\r\n"},
                     {100, 't', "sys\r"},
                     {200, 'r', "CH:e\r\n"},
                     {300, 'r', "CH:e\r\n"}},
                    "sys\r",
                    1},
        TPolicyCase{"APartialLineCountsOnceWhole",
                    false,
                    {{0, 'r', "CH:a"}, {400, '.', ""}, {900, 'r', "!"}, {1300, '.', ""}},
                    "",
                    1},
        TPolicyCase{"OneAnswerPerLine",
                    true,
                    {{100, 'r', "CH:a!"}, {500, '.', ""}, {600, 'r', " CH:b!"}, {1000, '.', ""}},
                    kReplyA,
                    0},
        TPolicyCase{"TheEchoOfATypedLineIsNoChallenge",
                    true,
                    {{100, 'r', "CH:a\r\n"}, {200, 'r', "re-a CH:a!\r\n"}},
                    kReplyA,
                    0},
        TPolicyCase{"TheOperatorsEnterEndsAPartialLine",
                    false,
                    {{0, 'r', "CH:"}, {100, 't', "\r"}, {200, 'r', "a!\r\n"}},
                    "\r",
                    0}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(Policy, NextDueIsTheQuietTimeThenTheLapse) {
  TSessionSettings settings;
  settings.SyncMs = 0;
  TSessionPolicy policy(settings, FakeAnswer);
  TSessionOutput out;
  policy.Start(0, out);
  EXPECT_EQ(policy.NextDue(), -1);
  policy.Received("Password CH:a! : ", 100, out);
  EXPECT_EQ(policy.NextDue(), 500);
  policy.Tick(500, out);
  EXPECT_EQ(policy.NextDue(), 60500);
  policy.Received("more", 600, out);  // covers the offer: drawn again once quiet
  EXPECT_EQ(policy.NextDue(), 1000);
}

TEST(Policy, LongLinesKeepTheirEnd) {
  TSessionPolicy policy({}, FakeAnswer);
  TSessionOutput out;
  policy.Received(std::string(5000, 'x') + "CH:z\n", 0, out);
  EXPECT_NE(out.ToOperator.find("for z"), std::string::npos);
}

// Each byte's kind, one letter a byte: t typed, k key, r report, d doubtful.
TEST(OperatorInput, SortsKeysReportsAndTyping) {
  struct {
    std::vector<std::string> Reads;
    std::string Kinds;
  } cases[] = {
      {{"ab\r"}, "ttt"},
      {{"\x1b[A", "x"}, "kkkt"},
      {{"\x1b[?1;2c"}, "rrrrrrr"},
      {{"\x1b[12;4", "0Rx"}, "rrrrrrrrd"},  // a report cut in two is held back, read whole
      {{"\x1b]0;t\x1b\\"}, "rrrrrrr"},
      {{"\x1bP1$r0m\x1b\\"}, "rrrrrrrrr"},
      {{"\x1b[M\x07!!"}, "rrrrrr"},
      {{"\x1b\x07"}, "kt"},  // Escape, then Ctrl-G itself
      {{"\x1b", "[B"}, "kkk"},
      {{"\x1bOP"}, "kkk"},
      {{"\x1b[200~p\x1b[201~"}, "rrrrrrdrrrrrr"},
      {{"\x9b"
        "5;1R"
        "\xc5\x9b"},
       "rrrrrdd"},  // 8-bit CSI; an s acute in UTF-8
      {{"\xc3\xb6\x9d"
        "0;t\x9c"},
       "ddrrrrr"},  // o umlaut, then an 8-bit OSC
  };
  for (const auto& c : cases) {
    TOperatorInput input;
    std::string kinds;
    for (const std::string& read : c.Reads)
      for (const TInputByte& b : input.Sort(read)) kinds += "tkrd"[static_cast<int>(b.Kind)];
    EXPECT_EQ(kinds, c.Kinds) << ::testing::PrintToString(c.Reads);
  }
}

TEST(OperatorLine, EditsAndEnter) {
  struct {
    std::string Keys;
    bool HalfTyped;
    std::string Entered;  // "" with a '!' first: none
  } cases[] = {
      {"sys", true, "!"},           {"sys\r", false, "sys"}, {"sys\r\n", false, "sys"},
      {"sx\x7fys\r", false, "sys"}, {"abc\x15", false, "!"}, {"ab\x03", false, "!"},
      {"\x7f", false, "!"},
  };
  for (const auto& c : cases) {
    TOperatorLine line;
    bool entered = false;
    for (char k : c.Keys) entered = line.Add(k, true) || entered;
    EXPECT_EQ(line.HalfTyped(), c.HalfTyped) << c.Keys;
    EXPECT_EQ(entered ? line.Entered() : "!", c.Entered) << c.Keys;
  }
}

// Pieces of the far end's output ('|' cuts them), what the terminal gets
// of them, and how many status questions korvel answers instead.
TEST(StatusQuestions, AreTakenOutInEveryFormATerminalReads) {
  struct {
    std::string Pieces, Shown;
    int Asked;
  } cases[] = {
      {"a\x1b[5nb", "ab", 1},
      {"\x1b[05;1n|\x9b" "5n", "", 2},
      {std::string("\x1b[5\0n", 5), std::string(1, '\0'), 1},  // a control inside acts
      {"\x1b\a[5n", "\a", 1},
      {"\x1b\x1b[?5n", "\x1b", 1},
      {"x\x1b[|5|n", "x", 1},
      {"\xc4\x9b" "5n", "\xc4", 1},  // 0x9B is CSI to an 8-bit terminal
      // Other sequences pass whole, also cut.
      {"\x1b[6n\x1b[15n\x1b[5\x18n", "\x1b[6n\x1b[15n\x1b[5\x18n", 0},
      {"\x1b(B\x1b[1m\xc3\xa9|\x1b[|2J", "\x1b(B\x1b[1m\xc3\xa9\x1b[2J", 0},
  };
  for (const auto& c : cases) {
    TStatusQuestions questions;
    std::string shown;
    int asked = 0;
    for (std::size_t from = 0; from <= c.Pieces.size();) {
      const std::size_t cut = std::min(c.Pieces.find('|', from), c.Pieces.size());
      int n = 0;
      shown += questions.Filter(std::string_view(c.Pieces).substr(from, cut - from), n);
      asked += n;
      from = cut + 1;
    }
    EXPECT_EQ(shown, c.Shown) << ::testing::PrintToString(c.Pieces);
    EXPECT_EQ(asked, c.Asked) << ::testing::PrintToString(c.Pieces);
  }
}

TEST(SessionLog, LeavesOutTheRepliesAndEscapesControls) {
  TSessionLog log;
  EXPECT_EQ(log.Add("BOX> [1]\r\n"), "BOX> [1]\n");
  log.Secret("abcde");
  log.Secret("PASSWORD abcde");
  EXPECT_EQ(log.Add("PASSWORD ab"), "");  // lines are written whole
  EXPECT_EQ(log.Add("cde\r\nyou typed: ABCDE!\rx"),
            std::string(TSessionLog::kMark) + "\nyou typed: " + TSessionLog::kMark + "!\n");
  EXPECT_EQ(log.Add("\x1b]52;c;YQ==\x07\tz\n"), "x\\x1B]52;c;YQ==\\x07\\tz\n");
  // A far end that echoes the reply with invisible bytes between its letters.
  EXPECT_EQ(log.Add("<a\x1b[1mB\x07\x1b]0;t\x07" "cd\x1b(Be>\r\n"),
            "<" + std::string(TSessionLog::kMark) + ">\n");
  // A reply beyond ASCII, whose UTF-8 bytes look like C1 controls; and no
  // letter is found across more invisible bytes than an echo holds.
  log.Secret("pw\xe2\x82\xac\xd0\x9f");
  EXPECT_EQ(log.Add("echo pw\xe2\x82\xac\xd0\x9f\r\n"), "echo " + std::string(TSessionLog::kMark) + "\n");
  EXPECT_EQ(log.Add("ab\x1bP" + std::string(100, 'q') + "\x07" "cde\n"),
            "ab\\x1BP" + std::string(100, 'q') + "\\x07cde\n");
  // A line without an end is written in parts, none of which cuts a reply.
  const std::size_t part = TSessionLog::kPartLimit;
  EXPECT_EQ(log.Add(std::string(part - 2, 'y') + "abcde" + std::string(part - 3, 'y')),
            std::string(part - 2, 'y') + TSessionLog::kMark);
  EXPECT_EQ(log.Finish(), std::string(part - 3, 'y') + "\n");
}

TEST(ReplyLine, TemplatesAreCheckedAndExpanded) {
  struct {
    std::string Template, Line;  // Line empty: refused
  } cases[] = {
      {"", "abc"},       {"PASSWORD %s", "PASSWORD abc"},
      {"@ %s", "@ abc"}, {"%s 100%%", "abc 100%"},
      {"%s %s", ""},     {"PASSWORD", ""},
      {"%d %s", ""},     {"%s\r", ""},
      {"%s %", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReplyLineProblem(c.Template).empty(), !c.Line.empty()) << c.Template;
    if (!c.Line.empty()) {
      EXPECT_EQ(ExpandReplyLine(c.Template, "abc"), c.Line) << c.Template;
    }
  }
}

TEST(SessionTrigger, WordsAndFirstWords) {
  EXPECT_EQ(TriggerProblem("pw"), "");
  EXPECT_EQ(TriggerProblem(""), "");
  EXPECT_NE(TriggerProblem("two words"), "");
  EXPECT_NE(TriggerProblem("tab\t"), "");
  struct {
    const char* Line;
    const char* Word;
    bool Is;
  } cases[] = {{"sys", "sys", true},    {"  SYS 5", "sys", true}, {"system", "sys", false},
               {"sy", "sys", false},    {"@", "@", true},         {"@5", "@", false},
               {"x sys", "sys", false}, {"", "sys", false}};
  for (const auto& c : cases) EXPECT_EQ(FirstWordIs(c.Line, c.Word), c.Is) << c.Line;
}

TEST(SessionKey, NamesAndRefusals) {
  struct {
    const char* Text;
    int Key;  // -1: refused
  } cases[] = {{"^G", 7},      {"ctrl-g", 7}, {"C-G", 7}, {"\x05", 5},  {"^]", -1},
               {"ctrl-]", -1}, {"^1", -1},    {"gg", -1}, {"", -1},     {"x", -1},
               {"s", -1},      {"R", -1},     {"^[", -1}, {"^I", -1},   {"^M", -1},
               {"^J", -1},     {"^H", -1},    {"^?", -1}, {"\x7f", -1}, {"\xe9", -1}};
  for (const auto& c : cases) {
    std::optional<char> key = ParseKey(c.Text);
    EXPECT_EQ(key ? *key : -1, c.Key) << c.Text;
  }
  EXPECT_EQ(KeyName('\x07'), "Ctrl-G");
}

}  // namespace
}  // namespace korvel::cli
