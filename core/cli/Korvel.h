// korvel, the command-line front end: the library's engine and store behind
// commands for terminals and scripts.
#pragma once

#include <concepts>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "PasswordStore.h"

namespace korvel {
class TZORVAModule;
}

namespace korvel::cli {

// Standard input, output and error as the commands use them. They are small
// interfaces of korvel's own rather than the C++ streams, whose locale
// machinery would weigh more than the rest of the program.
class TInput {
 public:
  virtual ~TInput() = default;
  // The next line without its line end (LF or CR LF); false at the end of the
  // input. A last line without a line end is still a line.
  virtual bool ReadLine(std::string& line) = 0;
};

class TOutput {
 public:
  virtual ~TOutput() = default;
  virtual void Write(std::string_view text) = 0;
  // Passes on what was written; false when any of it could not be written.
  virtual bool Flush() = 0;
};

inline TOutput& operator<<(TOutput& out, std::string_view text) {
  out.Write(text);
  return out;
}
inline TOutput& operator<<(TOutput& out, char c) { return out << std::string_view(&c, 1); }
template <std::integral T>
TOutput& operator<<(TOutput& out, T number) {
  return out << std::string_view(std::to_string(number));
}

// A C stream (stdin, stdout, stderr) as input or output.
class TFileInput final : public TInput {
 public:
  explicit TFileInput(std::FILE* file) : File(file) {}
  bool ReadLine(std::string& line) override;

 private:
  std::FILE* File;
};

class TFileOutput final : public TOutput {
 public:
  explicit TFileOutput(std::FILE* file) : File(file) {}
  void Write(std::string_view text) override;
  bool Flush() override;

 private:
  std::FILE* File;
  bool Failed = false;
};

// Input from a text, output into a text: for tests, and for programs that
// run commands in-process.
class TTextInput final : public TInput {
 public:
  explicit TTextInput(std::string text) : Text(std::move(text)) {}
  bool ReadLine(std::string& line) override;

 private:
  std::string Text;
  std::size_t Position = 0;
};

class TTextOutput final : public TOutput {
 public:
  void Write(std::string_view text) override {
    if (!Fails) Text += text;
  }
  bool Flush() override { return !Fails; }
  std::string Text;
  bool Fails = false;  // as a closed or full output would
};

struct TSessionSettings;

// Asks a yes/no question on err and reads the answer as a line of in; only
// "y" or "yes" (any letter case) is a yes.
bool AskYesNo(TInput& in, TOutput& err, const std::string& question);

// What the program needs of its surroundings, so tests can stand in for them.
struct TConsole {
  TInput& In;
  TOutput& Out;
  TOutput& Err;
  // Reads the password: from the terminal without echo, or a line of standard
  // input when that is not a terminal. False at the end of the input.
  bool (*ReadPassword)(TInput& in, TOutput& err, std::string& password);
  // Puts a text on the clipboard; false with a message on err when it cannot.
  bool (*CopyToClipboard)(const std::string& text, TOutput& err);
  // Whether standard input is a terminal, someone who can answer a question:
  // import asks before it replaces the list.
  bool IsTerminal = false;
  // Asks a yes/no question; true for yes.
  bool (*Confirm)(TInput& in, TOutput& err, const std::string& question) = AskYesNo;
  // Runs `command` in a pseudo-terminal between the operator's terminal and
  // a session policy with these settings, answering with the module's
  // records (korvel session); its exit status, or 1 with a message on err
  // when it cannot be run. Null where the system has no pseudo-terminals:
  // there nothing of the session is linked in.
  int (*RunSession)(const std::vector<std::string>& command, const TSessionSettings& settings,
                    TZORVAModule& module, const std::string& logPath, TOutput& err) = nullptr;
};

// Shows a text on one line of a terminal: control characters (and the C1
// controls 0x80-0x9F) escaped as \t, \n, \r or \xNN, a backslash as \\.
std::string Escaped(const std::string& text);

// Runs one command line (without the program name). `store` is used unless
// --store names another. Returns the exit status: 0, 1 (failure) or 2 (usage).
int Run(const std::vector<std::string>& args, std::shared_ptr<TPasswordStore> store,
        TConsole& console);

}  // namespace korvel::cli
