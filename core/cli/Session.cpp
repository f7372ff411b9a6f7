#include "Session.h"

#include "CharClass.h"

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
  line.reserve(templateText.size() + reply.size());  // built in place: no copy left behind
  for (std::size_t i = 0; i < templateText.size(); ++i) {
    if (templateText[i] == '%' && i + 1 < templateText.size()) {
      if (templateText[i + 1] == 's')
        line += reply;
      else
        line += templateText[i + 1];
      ++i;
    } else {
      line += templateText[i];
    }
  }
  return line;
}

std::string TriggerProblem(const std::string& word) {
  for (char c : word) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F) return "must be one word of printable characters";
  }
  return "";
}

bool FirstWordIs(std::string_view line, std::string_view word) {
  std::size_t at = line.find_first_not_of(" \t");
  if (word.empty() || at == std::string_view::npos || line.size() - at < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (ToUpper(line[at + i]) != ToUpper(word[i])) return false;
  at += word.size();
  return at == line.size() || line[at] == ' ' || line[at] == '\t';
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
  if (!key) return std::nullopt;
  const auto c = static_cast<unsigned char>(*key);
  if (c >= 0x20 || c == 0x1B || c == '\t' || c == '\r' || c == '\n' || c == '\b' || c == 0x1D)
    return std::nullopt;
  return key;
}

}  // namespace korvel::cli
