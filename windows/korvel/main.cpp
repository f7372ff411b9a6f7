// korvel.exe's entry: the console and the clipboard of Windows, the registry
// store, then the commands.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <iostream>
#include <memory>

#include "Clipboard.h"
#include "Console.h"
#include "Korvel.h"
#include "RegistryStore.h"

namespace {

bool ReadLine(std::istream& in, std::string& line) {
  if (!std::getline(in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

// The console's input mode before echo went off at the prompt, for Ctrl-C.
HANDLE gPromptInput = nullptr;
DWORD gPromptMode = 0;

// Ctrl-C, Ctrl-Break or closing the window at the prompt ends korvel; the
// console is first given its echo back. The next handler, Windows' own,
// then ends the process.
BOOL WINAPI RestoreEchoAndEnd(DWORD) {
  SetConsoleMode(gPromptInput, gPromptMode);
  return FALSE;
}

bool ReadPassword(std::istream& in, std::ostream& err, std::string& password) {
  auto* console = dynamic_cast<korvel::TConsoleInput*>(in.rdbuf());
  DWORD mode = 0;
  if (!console || !GetConsoleMode(console->Handle(), &mode)) return ReadLine(in, password);
  gPromptInput = console->Handle();
  gPromptMode = mode;
  SetConsoleCtrlHandler(RestoreEchoAndEnd, TRUE);
  SetConsoleMode(console->Handle(), mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  err << "Password: " << std::flush;
  console->TakeLoss();  // only this line counts
  bool ok = ReadLine(in, password);
  const bool lost = console->TakeLoss();
  SetConsoleMode(console->Handle(), mode);
  SetConsoleCtrlHandler(RestoreEchoAndEnd, FALSE);
  err << '\n';
  if (ok && lost) {
    // Stored with a '?' in its place, the password would answer wrongly.
    err << "korvel: the password holds a character that Windows' ANSI code page (" << GetACP()
        << ") has no place for; KOR could not type it either\n";
    password.clear();
    return false;
  }
  return ok;
}

bool CopyToClipboard(const std::string& text, std::ostream& err) {
  if (korvel::PutTextOnClipboard(text, nullptr)) return true;
  err << "korvel: the reply could not be put on the clipboard\n";
  return false;
}

bool IsConsole(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

int main(int argc, char** argv) {
  // A console gets and gives characters (see Console.h). Elsewhere bytes pass
  // as they are, as on Linux: in text mode the C library would turn the CR
  // LF of an export into CR CR LF and end piped input at its first Ctrl-Z.
  std::unique_ptr<korvel::TConsoleInput> consoleIn;
  std::unique_ptr<korvel::TConsoleOutput> consoleOut, consoleErr;
  std::istream in(std::cin.rdbuf());
  std::ostream out(std::cout.rdbuf()), err(std::cerr.rdbuf());
  if (IsConsole(STD_INPUT_HANDLE)) {
    consoleIn = std::make_unique<korvel::TConsoleInput>(GetStdHandle(STD_INPUT_HANDLE));
    in.rdbuf(consoleIn.get());
  } else if (GetFileType(GetStdHandle(STD_INPUT_HANDLE)) != FILE_TYPE_CHAR) {
    _setmode(_fileno(stdin), _O_BINARY);
  }
  if (IsConsole(STD_OUTPUT_HANDLE)) {
    consoleOut = std::make_unique<korvel::TConsoleOutput>(GetStdHandle(STD_OUTPUT_HANDLE));
    out.rdbuf(consoleOut.get());
  } else {
    _setmode(_fileno(stdout), _O_BINARY);
  }
  if (IsConsole(STD_ERROR_HANDLE)) {
    consoleErr = std::make_unique<korvel::TConsoleOutput>(GetStdHandle(STD_ERROR_HANDLE));
    err.rdbuf(consoleErr.get());
  }
  err.setf(std::ios::unitbuf);  // as std::cerr: each message at once
  in.tie(&out);                 // as std::cin: the output so far is out before a read
  std::vector<std::string> args(argv + 1, argv + argc);
  korvel::cli::TConsole console{in, out, err, ReadPassword, CopyToClipboard};
  console.IsTerminal = _isatty(_fileno(stdin)) != 0;
  std::shared_ptr<korvel::TPasswordStore> store = std::make_shared<korvel::TRegistryStore>();
  int status = korvel::cli::Run(args, store, console);
  out.flush();
  err.flush();
  return status;
}
