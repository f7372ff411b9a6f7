// korvel session's watcher on a clock of the test's own: lines, offers, the
// key, lapses and --auto, and the reply-line templates.
#include <gtest/gtest.h>

#include "Session.h"

namespace korvel::cli {
namespace {

// A received line holding "CH:x" is a challenge of the record with TAG x,
// answered "re-x".
std::optional<TSessionAnswer> FakeAnswer(const std::string& line) {
  std::size_t at = line.find("CH:");
  if (at == std::string::npos || at + 3 >= line.size()) return std::nullopt;
  std::string tag = line.substr(at + 3, 1);
  return TSessionAnswer{tag, "re-" + tag};
}

struct TEvent {
  int64_t At;
  char Kind;  // 'r' received, 't' typed, '.' time passes
  std::string Text;
};

struct TWatcherCase {
  const char* Name;
  bool Auto;
  std::vector<TEvent> Events;
  std::string ToConnection;  // all that went into the connection
  int Offers;                // status lines offering a reply
};

void PrintTo(const TWatcherCase& c, std::ostream* out) { *out << c.Name; }

class Watcher : public ::testing::TestWithParam<TWatcherCase> {};

TEST_P(Watcher, TypesWhatTheOperatorAndTheOffersGive) {
  const TWatcherCase& c = GetParam();
  TSessionSettings settings;  // quiet 400 ms, offers lapse after 60 s, operator within 30 s
  settings.Auto = c.Auto;
  TSessionWatcher watcher(settings, FakeAnswer);
  TSessionOutput out;
  for (const TEvent& e : c.Events) {
    if (e.Kind == 'r') watcher.Received(e.Text, e.At, out);
    if (e.Kind == 't') watcher.Typed(e.Text, e.At, out);
    if (e.Kind == '.') watcher.Tick(e.At, out);
  }
  EXPECT_EQ(out.ToConnection, c.ToConnection);
  int offers = 0;
  for (std::size_t at = 0;
       (at = out.ToOperator.find("types the reply for", at)) != std::string::npos; ++at)
    ++offers;
  EXPECT_EQ(offers, c.Offers) << out.ToOperator;
  EXPECT_EQ(out.ToOperator.find("re-"), std::string::npos) << "the status shows the reply";
}

const char G = '\x07';
const std::string kKey(1, G);

INSTANTIATE_TEST_SUITE_P(
    Cases, Watcher,
    ::testing::Values(
        TWatcherCase{
            "KeyTypesTheOffer", false, {{0, 'r', "node CH:a\r\n"}, {10, 't', kKey}}, "re-a\r", 1},
        TWatcherCase{
            "KeyPassesWithoutOffer", false, {{0, 'r', "hello\r\n"}, {10, 't', kKey}}, kKey, 0},
        TWatcherCase{"KeyTypesOnlyOnce",
                     false,
                     {{0, 'r', "CH:a\n"}, {10, 't', kKey}, {20, 't', kKey}},
                     "re-a\r" + kKey,
                     1},
        TWatcherCase{
            "PartialLineAfterQuietTime",
            false,
            {{0, 'r', "Password CH:a : "}, {399, 't', kKey}, {400, '.', ""}, {500, 't', kKey}},
            kKey + "re-a\r",
            1},
        TWatcherCase{"PartialLineIsAnsweredAgainOnceItGrew",
                     false,
                     {{0, 'r', "Password "},
                      {400, '.', ""},
                      {500, 'r', "CH:a : "},
                      {800, 't', kKey},
                      {900, '.', ""},
                      {950, 't', kKey}},
                     kKey + "re-a\r",
                     1},
        TWatcherCase{"OfferLapses", false, {{0, 'r', "CH:a\n"}, {60000, 't', kKey}}, kKey, 1},
        TWatcherCase{"OfferHoldsUntilItLapses",
                     false,
                     {{0, 'r', "CH:a\n"}, {59999, 't', kKey}},
                     "re-a\r",
                     1},
        TWatcherCase{"NextChallengeReplacesTheOffer",
                     false,
                     {{0, 'r', "CH:a\r\nCH:b\r"}, {10, 't', kKey + kKey}},
                     "re-b\r" + kKey,
                     2},
        TWatcherCase{"CrLfIsOneLineEnd", false, {{0, 'r', "CH:a\r"}, {1, 'r', "\nmore\n"}}, "", 1},
        TWatcherCase{"AutoWithoutOperatorInputOnlyOffers", true, {{0, 'r', "CH:a\n"}}, "", 1},
        TWatcherCase{"AutoAfterOperatorInputTypes",
                     true,
                     {{0, 't', "c\r"}, {30000, 'r', "CH:a\n"}},
                     "c\rre-a\r",
                     0},
        TWatcherCase{
            "AutoAfterStaleInputOffers", true, {{0, 't', "c\r"}, {30001, 'r', "CH:a\n"}}, "c\r", 1},
        TWatcherCase{
            "AutoNeverTwiceForOneLine",
            true,
            {{0, 't', "c"}, {10, 'r', "Password CH:a : "}, {410, '.', ""}, {500, 'r', "re-a\r\n"}},
            "cre-a\r",
            0}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(Watcher, TheLogLeavesOutTheEchoOfATypedReply) {
  TSessionWatcher watcher({}, FakeAnswer);
  TSessionOutput out;
  watcher.Received("CH:a\r\n", 0, out);
  watcher.Typed(kKey, 10, out);
  ASSERT_EQ(out.ToConnection, "re-a\r");
  EXPECT_EQ(watcher.LogText("\r\nr"), "\r\n");  // "r" may start the echo
  EXPECT_EQ(watcher.LogText("e-a\r\nre-a"), std::string(TSessionWatcher::kEchoMark) + "\r\nre-a");
  watcher.Received("CH:b\n", 20, out);
  watcher.Typed(kKey, 30, out);
  EXPECT_EQ(watcher.LogText("re-x re-"), "re-x ");
  EXPECT_EQ(watcher.LogRest(), "re-");
}

TEST(Watcher, LongLinesKeepTheirEnd) {
  TSessionWatcher watcher({}, FakeAnswer);
  TSessionOutput out;
  watcher.Received(std::string(5000, 'x') + "CH:z\n", 0, out);
  EXPECT_NE(out.ToOperator.find("for z"), std::string::npos);
}

TEST(Watcher, NextDueIsTheQuietTimeThenTheLapse) {
  TSessionWatcher watcher({}, FakeAnswer);
  TSessionOutput out;
  EXPECT_EQ(watcher.NextDue(), -1);
  watcher.Received("Password CH:a : ", 100, out);
  EXPECT_EQ(watcher.NextDue(), 500);
  watcher.Tick(500, out);
  EXPECT_EQ(watcher.NextDue(), 60500);
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

TEST(SessionKey, NamesAndRefusals) {
  struct {
    const char* Text;
    int Key;  // -1: refused
  } cases[] = {{"^G", 7},      {"ctrl-g", 7}, {"C-G", 7}, {"x", 'x'}, {"^]", -1},
               {"ctrl-]", -1}, {"^1", -1},    {"gg", -1}, {"", -1}};
  for (const auto& c : cases) {
    std::optional<char> key = ParseKey(c.Text);
    EXPECT_EQ(key ? *key : -1, c.Key) << c.Text;
  }
  EXPECT_EQ(KeyName('\x07'), "Ctrl-G");
}

}  // namespace
}  // namespace korvel::cli
