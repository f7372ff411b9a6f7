// korvel's standard input and output, and its yes/no question.
#include <cstdio>

#include "CharClass.h"
#include "Korvel.h"

namespace korvel::cli {

bool AskYesNo(TInput& in, TOutput& err, const std::string& question) {
  err << question << " [y/N] ";
  err.Flush();
  std::string answer;
  if (!in.ReadLine(answer)) {
    err << '\n';
    return false;
  }
  return EqualNoCase(answer, "y") || EqualNoCase(answer, "yes");
}

namespace {

// Takes a line off `text` from `position`, without its LF or CR LF.
// Takes a line off `text` from `position`, without its LF or CR LF.
bool TakeLine(const std::string& text, std::size_t& position, std::string& line) {
  if (position >= text.size()) return false;
  std::size_t end = text.find('\n', position);
  std::size_t next = end == std::string::npos ? text.size() : end + 1;
  if (end == std::string::npos) end = text.size();
  line.assign(text, position, end - position);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  position = next;
  return true;
}

}  // namespace

bool TTextInput::ReadLine(std::string& line) { return TakeLine(Text, Position, line); }

bool TFileInput::ReadLine(std::string& line) {
  std::string text;
  for (int c; (c = std::getc(File)) != EOF;) {
    text += static_cast<char>(c);
    if (c == '\n') break;
  }
  std::size_t position = 0;
  return TakeLine(text, position, line);
}

void TFileOutput::Write(std::string_view text) {
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), File) != text.size()) Failed = true;
}

bool TFileOutput::Flush() {
  if (std::fflush(File) != 0 || std::ferror(File)) Failed = true;
  return !Failed;
}

}  // namespace korvel::cli
