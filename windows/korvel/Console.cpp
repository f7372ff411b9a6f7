#include "Console.h"

#include <algorithm>

#include "CodePage.h"

namespace korvel {

void TConsoleOutput::Write(std::string_view text) {
  Pending.append(text);
  std::size_t lineEnd = Pending.rfind('\n');
  if (lineEnd != std::string::npos && !WriteOut(lineEnd + 1)) Failed = true;
}

bool TConsoleOutput::Flush() {
  if (!WriteOut(Pending.size())) Failed = true;
  return !Failed;
}

bool TConsoleOutput::WriteOut(std::size_t count) {
  const std::wstring wide = Widen(Pending.substr(0, count), CP_ACP);
  Pending.erase(0, count);
  // In pieces: older consoles refuse a single write much larger than this.
  constexpr std::size_t kPiece = 4096;
  for (std::size_t at = 0; at < wide.size();) {
    std::size_t n = std::min(kPiece, wide.size() - at);
    if (at + n < wide.size() && IS_HIGH_SURROGATE(wide[at + n - 1])) --n;  // keep a pair whole
    DWORD written = 0;
    if (!WriteConsoleW(Console, wide.data() + at, static_cast<DWORD>(n), &written, nullptr) ||
        written == 0)
      return false;
    at += written;
  }
  return true;
}

bool TConsoleInput::TakeLoss() {
  bool lost = Lost;
  Lost = false;
  return lost;
}

bool TConsoleInput::ReadLine(std::string& line) {
  std::size_t end;
  while ((end = Buffer.find('\n')) == std::string::npos)
    if (!Fill()) break;
  if (Buffer.empty()) return false;
  if (end == std::string::npos) end = Buffer.size() - 1;  // a last line without its end
  line.assign(Buffer, 0, Buffer[end] == '\n' ? end : end + 1);
  Buffer.erase(0, end + 1);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

bool TConsoleInput::Fill() {
  if (Tied) Tied->Flush();
  while (!Ended) {
    wchar_t typed[1024];
    DWORD got = 0;
    if (!ReadConsoleW(Console, typed, static_cast<DWORD>(std::size(typed)), &got, nullptr) ||
        got == 0) {
      Ended = true;  // an error, or a read that Ctrl-C broke off
      break;
    }
    std::wstring text = Held + std::wstring(typed, got);
    Held.clear();
    if (std::size_t stop = text.find(L'\x1A'); stop != std::wstring::npos) {
      text.erase(stop);  // Ctrl-Z: the end of the input
      Ended = true;
    } else if (!text.empty() && (text.back() == L'\r' || IS_HIGH_SURROGATE(text.back()))) {
      Held = text.back();
      text.pop_back();
    }
    std::wstring line;
    for (std::size_t i = 0; i < text.size(); ++i)
      if (!(text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n')) line += text[i];
    bool lost = false;
    std::string narrow = Narrow(line, CP_ACP, &lost);
    Lost = Lost || lost;
    if (!narrow.empty()) {
      Buffer += narrow;
      return true;
    }
  }
  if (!Held.empty()) {  // a last CR or half pair, kept for a read that never came
    bool lost = false;
    Buffer += Narrow(Held, CP_ACP, &lost);
    Lost = Lost || lost;
    Held.clear();
    return true;
  }
  return false;
}

}  // namespace korvel
