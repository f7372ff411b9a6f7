// korvel.exe's entry: the console and the clipboard of Windows, the registry
// store, then the commands.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "Clipboard.h"
#include "Korvel.h"
#include "RegistryStore.h"

namespace {

bool ReadPassword(korvel::cli::TInput& in, korvel::cli::TOutput& err, std::string& password) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(input, &mode)) return in.ReadLine(password);  // not a console
  err << "Password: ";
  err.Flush();
  SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  bool ok = in.ReadLine(password);
  SetConsoleMode(input, mode);
  err << '\n';
  return ok;
}

bool CopyToClipboard(const std::string& text, korvel::cli::TOutput& err) {
  if (korvel::PutTextOnClipboard(text, nullptr)) return true;
  err << "korvel: the reply could not be put on the clipboard\n";
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // Bytes pass as they are, as on Linux: in text mode the C library would
  // turn the CR LF of an export into CR CR LF and end piped input at its
  // first Ctrl-Z. Typed input keeps text mode, where Ctrl-Z is the key that
  // ends it.
  _setmode(_fileno(stdout), _O_BINARY);
  if (GetFileType(GetStdHandle(STD_INPUT_HANDLE)) != FILE_TYPE_CHAR)
    _setmode(_fileno(stdin), _O_BINARY);
  std::vector<std::string> args(argv + 1, argv + argc);
  korvel::cli::TFileInput in(stdin);
  korvel::cli::TFileOutput out(stdout), err(stderr);
  korvel::cli::TConsole console{in, out, err, ReadPassword, CopyToClipboard};
  console.IsTerminal = _isatty(_fileno(stdin)) != 0;
  std::shared_ptr<korvel::TPasswordStore> store = std::make_shared<korvel::TRegistryStore>();
  return korvel::cli::Run(args, store, console);
}
