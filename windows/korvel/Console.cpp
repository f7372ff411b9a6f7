#include "Console.h"

#include <algorithm>

#include "CodePage.h"

namespace korvel {

TConsoleOutput::int_type TConsoleOutput::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char ch = traits_type::to_char_type(c);
  return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
}

std::streamsize TConsoleOutput::xsputn(const char* text, std::streamsize count) {
  Pending.append(text, static_cast<std::size_t>(count));
  std::size_t lineEnd = Pending.rfind('\n');
  if (lineEnd != std::string::npos && !Write(lineEnd + 1)) return 0;
  return count;
}

int TConsoleOutput::sync() { return Write(Pending.size()) ? 0 : -1; }

bool TConsoleOutput::Write(std::size_t count) {
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

TConsoleInput::int_type TConsoleInput::underflow() {
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
    Buffer = Narrow(line, CP_ACP, &lost);
    Lost = Lost || lost;
    if (!Buffer.empty()) {
      setg(Buffer.data(), Buffer.data(), Buffer.data() + Buffer.size());
      return traits_type::to_int_type(Buffer.front());
    }
  }
  if (!Held.empty()) {  // a last CR or half pair, kept for a read that never came
    bool lost = false;
    Buffer = Narrow(Held, CP_ACP, &lost);
    Lost = Lost || lost;
    Held.clear();
    setg(Buffer.data(), Buffer.data(), Buffer.data() + Buffer.size());
    return traits_type::to_int_type(Buffer.front());
  }
  return traits_type::eof();
}

}  // namespace korvel
