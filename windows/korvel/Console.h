// korvel.exe's text at a console. The program's texts are ANSI (CP_ACP), as
// KOR's and the store's are; a console shows and types characters in code
// pages of its own (usually the OEM one, 437 or 850). At a console, text
// goes out through WriteConsoleW and comes in through ReadConsoleW, turned
// from and to ANSI on the way, so that "Passwört" typed at the prompt is the
// "Passwört" that KOR answers with. Pipes and files keep their bytes.
#pragma once

#include <windows.h>

#include <streambuf>
#include <string>

namespace korvel {

// Writes to a console. Text goes out at each line end and at a flush, so a
// character is never split between two writes.
class TConsoleOutput final : public std::streambuf {
 public:
  explicit TConsoleOutput(HANDLE console) : Console(console) {}
  ~TConsoleOutput() override { sync(); }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;
  int sync() override;

 private:
  bool Write(std::size_t count);  // the first `count` bytes of Pending

  HANDLE Console;
  std::string Pending;
};

// Reads typed lines from a console, ending at a Ctrl-Z as text-mode input
// does; a line end arrives as "\n".
class TConsoleInput final : public std::streambuf {
 public:
  explicit TConsoleInput(HANDLE console) : Console(console) {}
  HANDLE Handle() const { return Console; }
  // Whether a character typed since the last call had no place in the ANSI
  // code page (and so came in as '?').
  bool TakeLoss();

 protected:
  int_type underflow() override;

 private:
  HANDLE Console;
  std::string Buffer;
  std::wstring Held;  // a CR or the first half of a pair that may go on in the next read
  bool Ended = false;
  bool Lost = false;
};

}  // namespace korvel
