// korvel.exe's entry: the console and the clipboard of Windows, the registry
// store, then the commands.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <memory>

#include <shellapi.h>

#include "Clipboard.h"
#include "CodePage.h"
#include "Console.h"
#include "Korvel.h"
#include "RegistryStore.h"

namespace {

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

// Whether standard input is the pipe that mintty (Git Bash, MSYS2, Cygwin)
// gives a program for its terminal ("\msys-...-pty0-from-master"): there
// is no console whose echo korvel could turn off, so the terminal would show
// the password as it is typed.
bool IsTerminalPipe(HANDLE input) {
  if (GetFileType(input) != FILE_TYPE_PIPE) return false;
  alignas(FILE_NAME_INFO) char buffer[sizeof(FILE_NAME_INFO) + MAX_PATH * sizeof(WCHAR)];
  auto* info = reinterpret_cast<FILE_NAME_INFO*>(buffer);
  if (!GetFileInformationByHandleEx(input, FileNameInfo, info, sizeof buffer)) return false;
  const std::wstring name(info->FileName, info->FileNameLength / sizeof(WCHAR));
  return (name.find(L"msys-") != std::wstring::npos ||
          name.find(L"cygwin-") != std::wstring::npos) &&
         name.find(L"-pty") != std::wstring::npos &&
         name.find(L"-from-master") != std::wstring::npos;
}

bool ReadPassword(korvel::cli::TInput& in, korvel::cli::TOutput& err, std::string& password) {
  auto* console = dynamic_cast<korvel::TConsoleInput*>(&in);
  DWORD mode = 0;
  if (!console || !GetConsoleMode(console->Handle(), &mode)) {
    if (IsTerminalPipe(GetStdHandle(STD_INPUT_HANDLE))) {
      err << "korvel: this terminal (mintty: Git Bash, MSYS2, Cygwin) is no Windows console, so "
             "it would show the password as you type it. Run winpty korvel ..., or add it "
             "in a Windows console (cmd, PowerShell, Windows Terminal)\n";
      return false;
    }
    return in.ReadLine(password);
  }
  gPromptInput = console->Handle();
  gPromptMode = mode;
  SetConsoleCtrlHandler(RestoreEchoAndEnd, TRUE);
  SetConsoleMode(console->Handle(), mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  err << "Password: ";
  err.Flush();
  console->TakeLoss();  // only this line counts
  bool ok = in.ReadLine(password);
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

bool CopyToClipboard(const std::string& text, korvel::cli::TOutput& err) {
  if (korvel::PutTextOnClipboard(text, nullptr)) return true;
  err << "korvel: the reply could not be put on the clipboard\n";
  return false;
}

// The arguments as Windows has them, in UTF-16, each in the ANSI code page
// for the commands, which keep their texts there. A character the code page
// lacks becomes '?', never a look-alike (no best fit: "Łukasz" is no
// "Lukasz"); an argument with such characters is remembered whole, so that
// a path among them still names its folder and file.
std::vector<std::string> Arguments() {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return args;
  for (int i = 1; i < count; ++i) {
    korvel::RememberWideArgument(wide[i]);
    args.push_back(korvel::Narrow(wide[i], CP_ACP));
  }
  LocalFree(wide);
  return args;
}

bool IsConsole(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

int main() {
  // A console gets and gives characters (see Console.h). Elsewhere bytes pass
  // as they are, as on Linux: in text mode the C library would turn the CR
  // LF of an export into CR CR LF and end piped input at its first Ctrl-Z.
  std::unique_ptr<korvel::cli::TInput> in;
  std::unique_ptr<korvel::cli::TOutput> out, err;
  if (IsConsole(STD_OUTPUT_HANDLE)) {
    out = std::make_unique<korvel::TConsoleOutput>(GetStdHandle(STD_OUTPUT_HANDLE));
  } else {
    _setmode(_fileno(stdout), _O_BINARY);
    out = std::make_unique<korvel::cli::TFileOutput>(stdout);
  }
  if (IsConsole(STD_ERROR_HANDLE))
    err = std::make_unique<korvel::TConsoleOutput>(GetStdHandle(STD_ERROR_HANDLE));
  else
    err = std::make_unique<korvel::cli::TFileOutput>(stderr);
  if (IsConsole(STD_INPUT_HANDLE)) {
    // The output so far goes out before a read, so every prompt is seen.
    in = std::make_unique<korvel::TConsoleInput>(GetStdHandle(STD_INPUT_HANDLE), out.get());
  } else {
    if (GetFileType(GetStdHandle(STD_INPUT_HANDLE)) != FILE_TYPE_CHAR)
      _setmode(_fileno(stdin), _O_BINARY);
    in = std::make_unique<korvel::cli::TFileInput>(stdin);
  }
  std::vector<std::string> args = Arguments();
  korvel::cli::TConsole console{*in, *out, *err, ReadPassword, CopyToClipboard};
  // Someone who can answer a question sits at a console; _isatty would also
  // take NUL (a scheduled task, a service) for one, and wait for no answer.
  console.IsTerminal = IsConsole(STD_INPUT_HANDLE);
  std::shared_ptr<korvel::TPasswordStore> store = std::make_shared<korvel::TRegistryStore>();
  int status = korvel::cli::Run(args, store, console);
  out->Flush();
  err->Flush();
  return status;
}
