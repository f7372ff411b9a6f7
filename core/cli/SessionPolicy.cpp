#include "SessionPolicy.h"

#include <algorithm>

#include "CharClass.h"
#include "Session.h"
#include "Wipe.h"

namespace korvel::cli {
namespace {

void WipeAnswer(TSessionAnswer& answer) {
  Wipe(answer.Line);
  Wipe(answer.Reply);
}

bool IsBuiltInTrigger(std::string_view line) {
  for (const char* word : kBuiltInTriggers)
    if (FirstWordIs(line, word)) return true;
  return false;
}

bool IsConnect(std::string_view line) {
  for (const char* word : kConnectWords)
    if (FirstWordIs(line, word)) return true;
  return false;
}

// Where the parameters of a CSI sequence start (after ESC [, or after CSI in
// one byte); npos for anything else.
std::size_t CsiParameters(std::string_view r) {
  if (!r.empty() && static_cast<unsigned char>(r[0]) == 0x9B) return 1;
  if (r.substr(0, 2) == "\x1b[") return 2;
  return std::string_view::npos;
}

bool AllDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return IsDigit(c); });
}

}  // namespace

TSessionOutput::~TSessionOutput() {
  Wipe(ToConnection);
  for (std::string& secret : Secrets) Wipe(secret);
}

// The received line and the echo's start may hold a reply the far end
// echoed: they have room for all they hold, so that they never move and
// leave a copy behind, and are wiped when done with.
TSessionPolicy::TSessionPolicy(TSessionSettings settings, TSessionAnswerer answer)
    : Settings(settings), Answer(std::move(answer)) {
  Line.reserve(kLineLimit + 1);
  Held.reserve(kLineLimit);
}

TSessionPolicy::~TSessionPolicy() {
  DropOffer();
  Wipe(Echo);
  Wipe(Held);
  Wipe(Line);
  Wipe(ReportHeld);
}

void TSessionPolicy::Start(int64_t now, TSessionOutput& out) {
  Login = {true, now, ""};
  out.ToOperator += kStatusQuestion;
  Questions.push_back(-1);
  SyncDeadline = now + Settings.SyncMs;
}

bool TSessionPolicy::TerminalAnswers(int64_t now) {
  if (Terminal == TTerminal::Unknown && now >= SyncDeadline) {
    Terminal = TTerminal::Silent;
    // Korvel's questions stay unanswered: offers count from their drawing.
    Questions.clear();
    if (Offer && Offer->Serial != 0 && !RedrawDue && !Offer->ShownAt)
      Offer->ShownAt = Offer->DrawnAt;
  }
  return Terminal != TTerminal::Silent;
}

std::string TSessionPolicy::Screen(std::string_view text, TSessionOutput& out) {
  int asked = 0;
  std::string shown = FarEndQuestions.Filter(text, asked);
  for (; asked > 0; --asked) out.ToConnection += TStatusQuestions::kAnswer;
  return shown;
}

// Whether a report read so far may still become ESC [ digits n.
bool TSessionPolicy::MayBeStatusAnswer(const std::string& r) {
  if (r == "\x1b") return true;
  const std::size_t from = CsiParameters(r);
  return from != std::string_view::npos && r.size() <= 16 &&
         AllDigits(std::string_view(r).substr(from));
}

void TSessionPolicy::Report(int64_t now, TSessionOutput& out) {
  // ESC [ Ps n (or CSI Ps n in one byte): the answer to a status question,
  // which only korvel asks (the far end's are korvel's to answer). It goes
  // no further.
  const std::string_view r = ReportHeld;
  const std::size_t from = CsiParameters(r);
  const bool answer = from != std::string_view::npos && r.size() > from + 1 && r.back() == 'n' &&
                      AllDigits(r.substr(from, r.size() - 1 - from));
  if (!answer) {
    out.ToConnection += ReportHeld;
  } else if (!Questions.empty()) {
    const int question = Questions.front();
    Questions.pop_front();
    Terminal = TTerminal::Answers;
    if (Offer && question == Offer->Serial && !RedrawDue) Offer->ShownAt = now;
  }
  ReportHeld.clear();
}

bool TSessionPolicy::Within(const TAsked& asked, int64_t now) const {
  return asked.Valid && now - asked.At <= Settings.AskedMs;
}

void TSessionPolicy::Received(std::string_view text, int64_t now, TSessionOutput& out) {
  if (text.empty()) return;
  LastReceived = now;
  if (!Echo.empty() && now > EchoUntil) {  // the far end does not echo
    for (char c : Held) ReceivedChar(c, now, out);
    Wipe(Held);
    Wipe(Echo);
  }
  // Anything but blanks and line ends may cover the offer or paint a false
  // one after it: the offer is drawn again below, and must stand anew.
  if (Offer &&
      text.find_first_not_of(std::string_view("\r\n \t\a\0", 6)) != std::string_view::npos) {
    Offer->ShownAt.reset();
    RedrawDue = true;
  }
  for (char c : text) {
    if (Echo.empty()) {
      ReceivedChar(c, now, out);
      continue;
    }
    // Korvel's own typed line, echoed back by the far end, is no received
    // text: held while it matches, dropped once whole, given back otherwise.
    Held += c;
    while (!Held.empty() && Echo.compare(0, Held.size(), Held) != 0) {
      ReceivedChar(Held.front(), now, out);
      Held.erase(0, 1);
    }
    if (Held.size() == Echo.size()) {
      Wipe(Held);
      Wipe(Echo);
    }
  }
}

void TSessionPolicy::ReceivedChar(char c, int64_t now, TSessionOutput& out) {
  const bool afterCR = AfterCR;
  AfterCR = c == '\r';
  if (c == '\r' || c == '\n') {
    if (!(c == '\n' && afterCR)) LineEnded(now, out);
    return;
  }
  Line += c;
  LineConsidered = false;
  if (Line.size() > kLineLimit) Line.erase(0, Line.size() - kLineLimit);
}

void TSessionPolicy::LineEnded(int64_t now, TSessionOutput& out) {
  Consider(now, true, out);
  Wipe(Line);
  LineAnswered = false;
  LineConsidered = true;
}

void TSessionPolicy::Consider(int64_t now, bool ended, TSessionOutput& out) {
  LineConsidered = true;
  if (Line.empty() || LineAnswered) return;
  std::optional<TSessionAnswer> answer = Answer(Line, ended);
  if (!answer || !answer->Complete) {
    if (answer) WipeAnswer(*answer);
    return;
  }
  const bool commandAsked =
      Within(Command, now) &&
      (IsBuiltInTrigger(Command.Line) ||
       (!answer->Trigger.empty() && FirstWordIs(Command.Line, answer->Trigger)));
  const bool loginAsked = Within(Login, now) && !answer->Prompt.empty();
  // A record without a prompt answers any line with numbers: only the first
  // challenge after its own trigger, and nothing else is even offered.
  if (answer->Prompt.empty() && !commandAsked) {
    WipeAnswer(*answer);
    return;
  }
  LineAnswered = true;
  // The first challenge after a trigger uses it up.
  if (Within(Command, now)) Command.Valid = false;
  if (Within(Login, now)) Login.Valid = false;
  DropOffer();  // the next challenge replaces an offer
  const int given = Replies[answer->Record];
  const bool twice = given >= Settings.FreeReplies;
  std::string why;
  if (Settings.Auto) {
    if (!commandAsked && !loginAsked)
      why = "not asked for, so not typed by itself";
    else if (twice)
      why = "not typed by itself: " + std::to_string(given) + " replies given already";
    else if (OperatorLine.HalfTyped())
      why = "not typed into your half-typed line: send or clear it first";
    else
      return TypeReply(*answer, now, out);
  }
  Offer.emplace();
  Offer->Answer = std::move(*answer);
  WipeAnswer(*answer);  // what a move leaves in short texts
  Offer->Lapses = now + Settings.OfferMs;
  Offer->Twice = twice;
  Offer->Why = why;
  Draw(now, out);
}

void TSessionPolicy::Draw(int64_t now, TSessionOutput& out) {
  const TSessionOffer& o = *Offer;
  const TSessionAnswer& a = o.Answer;
  std::string text = "[korvel: " + KeyName(Settings.Key);
  if (o.Twice) text += o.Armed ? " once more" : " twice";
  text += " types the reply for " + a.Tag + ", prompt " +
          (a.Prompt.empty() ? std::string("(none)") : "\"" + a.Prompt + "\"");
  if (auto given = Replies.find(a.Record); given != Replies.end() && given->second > 0)
    text += " (" + std::to_string(given->second) + " given for " + a.Tag + " this session)";
  if (!o.Why.empty()) text += "; " + o.Why;
  out.ToOperator += std::string(Settings.PlainText) + "\r\n" + text + "]\r\n";
  Offer->DrawnAt = now;
  Offer->ShownAt.reset();
  RedrawDue = false;
  if (TerminalAnswers(now)) {
    Offer->Serial = 0;  // seen once a later drawing is answered
    if (Questions.size() < kQuestionLimit) {
      out.ToOperator += kStatusQuestion;
      Offer->Serial = ++DrawSerial;
      Questions.push_back(Offer->Serial);
    }
  } else {
    Offer->ShownAt = now;
  }
}

void TSessionPolicy::TypeReply(TSessionAnswer& answer, int64_t now, TSessionOutput& out) {
  out.ToConnection += answer.Line;
  out.ToConnection += '\r';
  out.Secrets.push_back(answer.Reply);
  out.Secrets.push_back(answer.Line);
  Wipe(Held);  // the start of an earlier line's echo, which never came whole
  Wipe(Echo);
  Echo = answer.Line;
  EchoUntil = now + 5000;
  ++Replies[answer.Record];
  out.ToOperator +=
      std::string(Settings.PlainText) + "\r\n[korvel: typed the reply for " + answer.Tag + "]\r\n";
  WipeAnswer(answer);
}

void TSessionPolicy::DropOffer() {
  if (Offer) WipeAnswer(Offer->Answer);
  Offer.reset();
  RedrawDue = false;
}

void TSessionPolicy::Typed(std::string_view keys, int64_t now, TSessionOutput& out) {
  if (keys.empty()) return;
  Tick(now, out);  // a lapsed offer is gone before its key is read
  Take(Input.Sort(keys), now, out);
  HoldingSince.reset();
  if (Input.Holding()) HoldingSince = now;
}

void TSessionPolicy::Take(const std::vector<TInputByte>& input, int64_t now, TSessionOutput& out) {
  for (const TInputByte& b : input) {
    switch (b.Kind) {
      case TInputKind::Typed:
        if (b.Byte == Settings.Key && Offer) {
          KeyPressed(now, out);  // the key is korvel's, never the connection's
          continue;
        }
        out.ToConnection += b.Byte;
        if (OperatorLine.Add(b.Byte, true)) OperatorEntered(now);
        break;
      case TInputKind::Doubtful:
        out.ToConnection += b.Byte;
        if (OperatorLine.Add(b.Byte, false)) OperatorEntered(now);
        break;
      case TInputKind::Key:
        out.ToConnection += b.Byte;
        OperatorLine.MakeUnsure();
        break;
      case TInputKind::Report:
        ReportHeld += b.Byte;
        if (b.Ends) {
          Report(now, out);
        } else if (!MayBeStatusAnswer(ReportHeld)) {
          // Only an answer to a status question waits for its end; other
          // reports and strings go on at once.
          out.ToConnection += ReportHeld;
          ReportHeld.clear();
        }
        break;
    }
  }
}

void TSessionPolicy::OperatorEntered(int64_t now) {
  // The far end's prompt, answered by the operator, ends there: what it
  // prints next is a line of its own.
  Wipe(Line);
  LineAnswered = false;
  LineConsidered = true;
  const std::string& line = OperatorLine.Entered();
  Command = {};
  if (!OperatorLine.EnteredSure()) return;
  if (IsConnect(line))
    Login = {true, now, ""};
  else
    Command = {true, now, line};
}

void TSessionPolicy::KeyPressed(int64_t now, TSessionOutput& out) {
  TSessionOffer& o = *Offer;
  if (OperatorLine.HalfTyped()) {
    o.Why = "not typed into your half-typed line: send or clear it first";
    return Draw(now, out);
  }
  // Swallowed until the offer has stood on the screen long enough to be read.
  if (!o.ShownAt || now - *o.ShownAt < Settings.ShownMs) return;
  if (o.Twice && !o.Armed) {
    o.Armed = true;
    o.Why.clear();
    return Draw(now, out);
  }
  TypeReply(o.Answer, now, out);
  DropOffer();
}

void TSessionPolicy::Tick(int64_t now, TSessionOutput& out) {
  TerminalAnswers(now);
  if (HoldingSince && now - *HoldingSince >= kHoldMs) {
    HoldingSince.reset();
    Take(Input.Release(), now, out);
  }
  if (Offer && now >= Offer->Lapses) DropOffer();
  if (!LineConsidered && now - LastReceived >= Settings.QuietMs) Consider(now, false, out);
  if (Offer && RedrawDue && now - LastReceived >= Settings.QuietMs) Draw(now, out);
}

int64_t TSessionPolicy::NextDue() const {
  int64_t due = -1;
  auto earliest = [&](int64_t at) {
    if (due < 0 || at < due) due = at;
  };
  if (!LineConsidered || (Offer && RedrawDue)) earliest(LastReceived + Settings.QuietMs);
  if (Offer) earliest(Offer->Lapses);
  if (HoldingSince) earliest(*HoldingSince + kHoldMs);
  if (Terminal == TTerminal::Unknown && Offer) earliest(SyncDeadline);
  return due;
}

}  // namespace korvel::cli
