// Starts a test helper program with pipes to its standard input and output.
#pragma once

#include <string>
#include <vector>

namespace korvel::test {

class TChildProcess {
 public:
  explicit TChildProcess(const std::vector<std::string>& argv);
#ifdef _WIN32
  // Standard input from the file or device at `inputPath` (NUL, a named
  // pipe) instead of a pipe of the test's.
  TChildProcess(const std::vector<std::string>& argv, const std::string& inputPath);
#endif
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  bool Started() const { return Running; }
  // One line of the child's output without its line end; empty at its end.
  std::string ReadLine();
  // Everything the child writes until it closes its output (on Windows
  // without the CRs of its line ends).
  std::string ReadAll();
  // The same, byte for byte.
  std::string ReadAllBytes();
  void WriteLine(const std::string& line);
  void Write(const std::string& bytes);
  void CloseInput();
  // Waits for the child and returns its exit code.
  int Wait();
  // Ends the child at once (SIGKILL / TerminateProcess).
  void Kill();

 private:
  bool Running = false;
#ifdef _WIN32
  void* Process = nullptr;
  void* In = nullptr;
  void* Out = nullptr;
#else
  int Pid = -1;
  int In = -1;
  int Out = -1;
#endif
  int ExitCode = -1;
};

// The folder the test program itself lies in, where the helpers are built.
std::string ProgramDir();

#ifndef _WIN32
// Starts `args` in a new session whose controlling terminal, standard input,
// output and error are the terminal at `terminalName` (a pseudo-terminal's
// slave side); the child's process id, or -1.
int StartOnTerminal(const std::string& terminalName, std::vector<std::string> args);
#endif

}  // namespace korvel::test
