#include "Session.h"

namespace korvel::cli {

std::string ReplyLineProblem(const std::string& templateText) {
  int replies = 0;
  for (std::size_t i = 0; i < templateText.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(templateText[i]);
    if (c < 0x20 || c == 0x7F) return "holds a control character";
    if (c != '%') continue;
    char next = i + 1 < templateText.size() ? templateText[i + 1] : '\0';
    if (next == 's')
      ++replies;
    else if (next != '%')
      return "holds a % that is neither %s nor %%";
    ++i;
  }
  if (!templateText.empty() && replies != 1) return "must hold %s (the reply) once";
  return "";
}

std::string ExpandReplyLine(const std::string& templateText, const std::string& reply) {
  if (templateText.empty()) return reply;
  std::string line;
  for (std::size_t i = 0; i < templateText.size(); ++i) {
    if (templateText[i] == '%' && i + 1 < templateText.size()) {
      line += templateText[i + 1] == 's' ? reply : std::string(1, templateText[i + 1]);
      ++i;
    } else {
      line += templateText[i];
    }
  }
  return line;
}

void TSessionWatcher::Received(std::string_view text, int64_t now, TSessionOutput& out) {
  if (text.empty()) return;
  LastReceived = now;
  for (char c : text) {
    bool afterCR = AfterCR;
    AfterCR = c == '\r';
    if (c == '\r' || c == '\n') {
      if (!(c == '\n' && afterCR)) LineEnded(now, out);
      continue;
    }
    Line += c;
    LineConsidered = false;
    if (Line.size() > kLineLimit) Line.erase(0, Line.size() - kLineLimit);
  }
}

void TSessionWatcher::LineEnded(int64_t now, TSessionOutput& out) {
  Consider(now, out);
  Line.clear();
  Given.clear();
  LineConsidered = true;
}

// The line as it is now. A line answered while partial is answered again
// when it has grown, but a line already offered or typed for it is not
// given a second time.
void TSessionWatcher::Consider(int64_t now, TSessionOutput& out) {
  if (LineConsidered || Line.empty()) return;
  LineConsidered = true;
  std::optional<TSessionAnswer> answer = Answer(Line);
  if (!answer || !Given.insert(answer->Line).second) return;
  const std::string tag = answer->Tag;
  bool operatorTyped = LastTyped && now - *LastTyped <= Settings.OperatorMs;
  if (Settings.Auto && operatorTyped) {
    Offer.reset();
    out.ToConnection += answer->Line + "\r";
    ExpectEcho(answer->Line);
    out.ToOperator += "\r\n[korvel: typed the reply for " + tag + "]\r\n";
    return;
  }
  Offer = TOffer{std::move(*answer), now + Settings.OfferMs};
  out.ToOperator += "\r\n[korvel: " + KeyName(Settings.Key) + " types the reply for " + tag +
                    (Settings.Auto ? " (nothing typed lately, so not typed by itself)" : "") +
                    "]\r\n";
}

void TSessionWatcher::Typed(std::string_view keys, int64_t now, TSessionOutput& out) {
  if (keys.empty()) return;
  Tick(now, out);  // a lapsed offer is gone before its key is read
  for (char c : keys) {
    if (c == Settings.Key && Offer) {
      out.ToConnection += Offer->Answer.Line + "\r";
      ExpectEcho(Offer->Answer.Line);
      Offer.reset();
      continue;
    }
    out.ToConnection += c;
    LastTyped = now;
  }
}

void TSessionWatcher::Tick(int64_t now, TSessionOutput& out) {
  if (Offer && now >= Offer->Lapses) Offer.reset();
  if (!LineConsidered && now - LastReceived >= Settings.QuietMs) Consider(now, out);
}

void TSessionWatcher::ExpectEcho(const std::string& line) {
  Echo = line;
  EchoMatched = 0;
}

std::string TSessionWatcher::LogText(std::string_view received) {
  std::string out;
  for (char c : received) {
    if (!Echo.empty() && c != Echo[EchoMatched] && EchoMatched > 0) {
      out.append(Echo, 0, EchoMatched);  // not the echo after all
      EchoMatched = 0;
    }
    if (!Echo.empty() && c == Echo[EchoMatched]) {
      if (++EchoMatched == Echo.size()) {
        out += kEchoMark;
        Echo.clear();
        EchoMatched = 0;
      }
      continue;
    }
    out += c;
  }
  return out;
}

std::string TSessionWatcher::LogRest() {
  std::string rest = Echo.substr(0, EchoMatched);
  EchoMatched = 0;
  return rest;
}

int64_t TSessionWatcher::NextDue() const {
  int64_t due = -1;
  if (!LineConsidered) due = LastReceived + Settings.QuietMs;
  if (Offer && (due < 0 || Offer->Lapses < due)) due = Offer->Lapses;
  return due;
}

std::string KeyName(char key) {
  unsigned char c = static_cast<unsigned char>(key);
  if (c < 0x20) return std::string("Ctrl-") + static_cast<char>(c + '@');
  if (c == 0x7F) return "Ctrl-?";
  return std::string(1, key);
}

std::optional<char> ParseKey(const std::string& text) {
  std::optional<char> key;
  auto control = [](char letter) -> std::optional<char> {
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    if (letter < '@' || letter > '_') return std::nullopt;
    return static_cast<char>(letter - '@');
  };
  auto lower = [](std::string s) {
    for (char& c : s)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
  };
  const std::string l = lower(text);
  if (text.size() == 1)
    key = text[0];
  else if (text.size() == 2 && text[0] == '^')
    key = control(text[1]);
  else if (text.size() == 6 && l.compare(0, 5, "ctrl-") == 0)
    key = control(text[5]);
  else if (text.size() == 3 && l.compare(0, 2, "c-") == 0)
    key = control(text[2]);
  if (key && *key == '\x1D') return std::nullopt;  // Ctrl-], telnet's escape
  return key;
}

}  // namespace korvel::cli
