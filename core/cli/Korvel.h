// korvel, the command-line front end: the library's engine and store behind
// commands for terminals and scripts.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "PasswordStore.h"

namespace korvel::cli {

// Asks a yes/no question on err and reads the answer as a line of in; only
// "y" or "yes" (any letter case) is a yes.
bool AskYesNo(std::istream& in, std::ostream& err, const std::string& question);

// What the program needs of its surroundings, so tests can stand in for them.
struct TConsole {
  std::istream& In;
  std::ostream& Out;
  std::ostream& Err;
  // Reads the password: from the terminal without echo, or a line of standard
  // input when that is not a terminal. False at the end of the input.
  bool (*ReadPassword)(std::istream& in, std::ostream& err, std::string& password);
  // Puts a text on the clipboard; false with a message on err when it cannot.
  bool (*CopyToClipboard)(const std::string& text, std::ostream& err);
  // Whether standard input is a terminal, someone who can answer a question:
  // import asks before it replaces the list.
  bool IsTerminal = false;
  // Asks a yes/no question; true for yes.
  bool (*Confirm)(std::istream& in, std::ostream& err, const std::string& question) = AskYesNo;
};

// Shows a text on one line of a terminal: control characters (and the C1
// controls 0x80-0x9F) escaped as \t, \n, \r or \xNN, a backslash as \\.
std::string Escaped(const std::string& text);

// Runs one command line (without the program name). `store` is used unless
// --store names another. Returns the exit status: 0, 1 (failure) or 2 (usage).
int Run(const std::vector<std::string>& args, std::shared_ptr<TPasswordStore> store,
        TConsole& console);

}  // namespace korvel::cli
