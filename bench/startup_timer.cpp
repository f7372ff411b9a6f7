// Measures how long programs take from process start to their visible main
// window, side by side in one run:
//   startup_timer RUNS WARMUPS TITLE COMMAND [TITLE COMMAND ...]
// Each round starts every program once, in turn (every other round in the
// opposite order, so that neither always follows the other), times it from
// just before CreateProcess to the moment a window with its TITLE, owned by
// the new process, is visible, then closes it (WM_CLOSE, waited for, so that
// a program that saves at exit has saved before the next start). The first
// WARMUPS rounds are not counted. Prints every time, the median, minimum and
// maximum of each program and each median's ratio to the last program's.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct TProgram {
  const char* Title;
  std::string Command;
  std::vector<double> Milliseconds;
};

double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1000.0 / frequency;
}

// The visible top-level window with this title that the process owns.
HWND VisibleWindow(const char* title, DWORD process) {
  HWND window = FindWindowA(nullptr, title);
  if (!window || !IsWindowVisible(window)) return nullptr;
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  return owner == process ? window : nullptr;
}

// Starts the program and answers the milliseconds to its visible window, or
// a negative number when it ended or showed nothing within ten seconds.
double TimeStart(TProgram& program) {
  std::vector<char> command(program.Command.begin(), program.Command.end());
  command.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const double start = Now();
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::fprintf(stderr, "cannot start %s (error %lu)\n", program.Command.c_str(), GetLastError());
    return -1;
  }
  double elapsed = -1;
  HWND window = nullptr;
  // Polled every millisecond at most; the wait also ends when the process does.
  while (Now() - start < 10000) {
    if ((window = VisibleWindow(program.Title, process.dwProcessId))) {
      elapsed = Now() - start;
      break;
    }
    if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0) break;
  }
  if (window) PostMessageA(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
    std::fprintf(stderr, "%s did not end; terminated\n", program.Title);
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 10000);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (elapsed < 0) std::fprintf(stderr, "%s showed no window\n", program.Title);
  return elapsed;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5 || (argc - 3) % 2 != 0) {
    std::fprintf(stderr, "usage: startup_timer RUNS WARMUPS TITLE COMMAND [TITLE COMMAND ...]\n");
    return 2;
  }
  const int runs = std::atoi(argv[1]), warmups = std::atoi(argv[2]);
  if (runs < 1 || warmups < 0) {
    std::fprintf(stderr, "RUNS must be at least 1, WARMUPS at least 0\n");
    return 2;
  }
  std::vector<TProgram> programs;
  for (int i = 3; i + 1 < argc; i += 2) programs.push_back({argv[i], argv[i + 1], {}});

  for (int round = 0; round < warmups + runs; ++round) {
    for (size_t k = 0; k < programs.size(); ++k) {
      TProgram& program = programs[round % 2 ? programs.size() - 1 - k : k];
      const double ms = TimeStart(program);
      if (ms < 0) return 1;
      if (round >= warmups) program.Milliseconds.push_back(ms);
      Sleep(100);  // the ended process's windows and files are gone before the next start
    }
  }

  const TProgram& last = programs.back();
  const double floor = Median(last.Milliseconds);
  for (const TProgram& program : programs) {
    std::printf("%s:", program.Command.c_str());
    for (double ms : program.Milliseconds) std::printf(" %.1f", ms);
    const auto [low, high] =
        std::minmax_element(program.Milliseconds.begin(), program.Milliseconds.end());
    const double median = Median(program.Milliseconds);
    std::printf("\n  runs %zu  median %.1f ms  min %.1f  max %.1f  ratio to %s %.2f\n",
                program.Milliseconds.size(), median, *low, *high, last.Command.c_str(),
                median / floor);
  }
  return 0;
}
