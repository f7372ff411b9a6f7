// korvel.exe's text at a console. The program's texts are ANSI (CP_ACP), as
// KOR's and the store's are; a console shows and types characters in code
// pages of its own (usually the OEM one, 437 or 850). At a console, text
// goes out through WriteConsoleW and comes in through ReadConsoleW, turned
// from and to ANSI on the way, so that "Passwört" typed at the prompt is the
// "Passwört" that KOR answers with. Pipes and files keep their bytes.
#pragma once

#include <windows.h>

#include <string>

#include "Korvel.h"

namespace korvel {

// Writes to a console. Text goes out at each line end and at a flush, so a
// character is never split between two writes.
class TConsoleOutput final : public cli::TOutput {
 public:
  explicit TConsoleOutput(HANDLE console) : Console(console) {}
  ~TConsoleOutput() override { Flush(); }
  void Write(std::string_view text) override;
  bool Flush() override;

 private:
  bool WriteOut(std::size_t count);  // the first `count` bytes of Pending

  HANDLE Console;
  std::string Pending;
  bool Failed = false;
};

// Reads typed lines from a console, ending at a Ctrl-Z as text-mode input
// does. What `tied` holds goes out before each read, so a prompt is seen.
class TConsoleInput final : public cli::TInput {
 public:
  TConsoleInput(HANDLE console, cli::TOutput* tied) : Console(console), Tied(tied) {}
  HANDLE Handle() const { return Console; }
  bool ReadLine(std::string& line) override;
  // Whether a character typed since the last call had no place in the ANSI
  // code page (and so came in as '?').
  bool TakeLoss();

 private:
  bool Fill();  // reads on into Buffer; false at the end of the input

  HANDLE Console;
  cli::TOutput* Tied;
  std::string Buffer;
  std::wstring Held;  // a CR or the first half of a pair that may go on in the next read
  bool Ended = false;
  bool Lost = false;
};

}  // namespace korvel
