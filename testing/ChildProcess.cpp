#include "ChildProcess.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#endif

#include <cstring>

namespace korvel::test {

#ifdef _WIN32

TChildProcess::TChildProcess(const std::vector<std::string>& argv)
    : TChildProcess(argv, std::string()) {}

TChildProcess::TChildProcess(const std::vector<std::string>& argv, const std::string& inputPath) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE childIn = nullptr, parentIn = nullptr, childOut = nullptr, parentOut = nullptr;
  if (!inputPath.empty()) {
    childIn = CreateFileA(inputPath.c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa,
                          OPEN_EXISTING, 0, nullptr);
    if (childIn == INVALID_HANDLE_VALUE) return;
  } else if (!CreatePipe(&childIn, &parentIn, &sa, 0)) {
    return;
  }
  if (!CreatePipe(&parentOut, &childOut, &sa, 0)) {
    CloseHandle(childIn);
    if (parentIn) CloseHandle(parentIn);
    return;
  }
  if (parentIn) SetHandleInformation(parentIn, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(parentOut, HANDLE_FLAG_INHERIT, 0);
  std::string commandLine;
  for (const auto& arg : argv) {
    if (!commandLine.empty()) commandLine += ' ';
    commandLine += '"' + arg + '"';
  }
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = childIn;
  si.hStdOutput = childOut;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi{};
  BOOL ok = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                           &si, &pi);
  CloseHandle(childIn);
  CloseHandle(childOut);
  if (!ok) {
    if (parentIn) CloseHandle(parentIn);
    CloseHandle(parentOut);
    return;
  }
  CloseHandle(pi.hThread);
  Process = pi.hProcess;
  In = parentIn;
  Out = parentOut;
  Running = true;
}

TChildProcess::~TChildProcess() {
  if (Running) {
    Kill();
    Wait();
  }
  if (In) CloseHandle(In);
  if (Out) CloseHandle(Out);
  if (Process) CloseHandle(Process);
}

std::string TChildProcess::ReadLine() {
  std::string line;
  char c;
  DWORD got = 0;
  while (Out && ReadFile(Out, &c, 1, &got, nullptr) && got == 1) {
    if (c == '\n') break;
    if (c != '\r') line.push_back(c);
  }
  return line;
}

std::string TChildProcess::ReadAllBytes() {
  std::string all;
  char buffer[4096];
  DWORD got = 0;
  while (Out && ReadFile(Out, buffer, sizeof buffer, &got, nullptr) && got > 0)
    all.append(buffer, got);
  return all;
}

std::string TChildProcess::ReadAll() {
  std::string text;
  for (char c : ReadAllBytes())
    if (c != '\r') text.push_back(c);
  return text;
}

void TChildProcess::WriteLine(const std::string& line) { Write(line + "\n"); }

void TChildProcess::Write(const std::string& bytes) {
  DWORD written = 0;
  if (In) WriteFile(In, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void TChildProcess::CloseInput() {
  if (In) CloseHandle(In);
  In = nullptr;
}

int TChildProcess::Wait() {
  if (!Running) return ExitCode;
  WaitForSingleObject(Process, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(Process, &code);
  ExitCode = static_cast<int>(code);
  Running = false;
  return ExitCode;
}

void TChildProcess::Kill() {
  if (Running) TerminateProcess(Process, 137);
}

std::string ProgramDir() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p(path, n);
  return p.substr(0, p.find_last_of("\\/"));
}

#else

TChildProcess::TChildProcess(const std::vector<std::string>& argv) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return;
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return;
  }
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  if (pid < 0) {
    close(in[1]);
    close(out[0]);
    return;
  }
  Pid = pid;
  In = in[1];
  Out = out[0];
  Running = true;
}

TChildProcess::~TChildProcess() {
  if (Running) {
    Kill();
    Wait();
  }
  if (In >= 0) close(In);
  if (Out >= 0) close(Out);
}

std::string TChildProcess::ReadLine() {
  std::string line;
  char c;
  while (Out >= 0) {
    ssize_t n = read(Out, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') break;
    line.push_back(c);
  }
  return line;
}

std::string TChildProcess::ReadAll() { return ReadAllBytes(); }

std::string TChildProcess::ReadAllBytes() {
  std::string all;
  char buffer[4096];
  while (Out >= 0) {
    ssize_t n = read(Out, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    all.append(buffer, static_cast<std::size_t>(n));
  }
  return all;
}

void TChildProcess::WriteLine(const std::string& line) { Write(line + "\n"); }

void TChildProcess::Write(const std::string& bytes) {
  if (In >= 0) (void)!write(In, bytes.data(), bytes.size());
}

void TChildProcess::CloseInput() {
  if (In >= 0) close(In);
  In = -1;
}

int TChildProcess::Wait() {
  if (!Running) return ExitCode;
  int status = 0;
  while (waitpid(Pid, &status, 0) < 0 && errno == EINTR) {
  }
  ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  Running = false;
  return ExitCode;
}

void TChildProcess::Kill() {
  if (Running) kill(Pid, SIGKILL);
}

std::string ProgramDir() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string p(path, n > 0 ? static_cast<std::size_t>(n) : 0);
  return p.substr(0, p.rfind('/'));
}

#endif

#ifndef _WIN32
int StartOnTerminal(const std::string& terminalName, std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    setsid();
    int tty = open(terminalName.c_str(), O_RDWR);  // the new session's controlling terminal
    if (tty < 0) _exit(126);
    dup2(tty, 0);
    dup2(tty, 1);
    dup2(tty, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}
#endif

}  // namespace korvel::test
