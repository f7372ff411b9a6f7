// A node for korvel session's tests: it prints challenges the way real
// nodes do and checks each answer line the way those nodes check it, and it
// plays a hostile far end that tries to turn korvel against its operator.
//   korvel_fake_node STEP...
// Steps, in order:
//   bpq    "NODE:DB0ABC} 1 3 5 7 9" (BPQ's matrix); accepts "PASSWORD ACEGI"
//   fbb    "DB0ABC-7> 2 4 6 8 10", a bare matrix answer "BDFHJ" anywhere in the line
//   md5    "BOX> [1234567890]"; accepts the hex MD5 of the digits and "secret"
//   jnos   "Password [6d0136ef] : " with no line end; compares the answer's
//          first 16 hex digits with those of the MD5 of the value's four
//          bytes (least significant first) and "secret"
//   ask    reads one line (the operator's command) and prints "OK"
//   size   prints its terminal's size as "SIZE rows cols"
//   pause  waits 600 ms
// After each challenge it prints "ACCEPTED", or "REJECTED" and the line it
// got. The hostile steps print what they got from korvel: every line that
// came within 1.5 s as "GOT line", then "LEARNED n" (password characters
// revealed) or "UNANSWERED" when nothing came:
//   harvest     the matrix prompt "GB7AAA:G8ABC}" with positions 1-5, 6-10,
//               11-15 and 16-20 of a 20-character password, at once
//   flexharvest FlexNet's "(xyz) 10000>", "(xyz) 01000>", ... for a
//               five-digit code
//   da          asks the terminal for its attributes (ESC [ c), then a challenge
//   osc         a challenge, then asks the terminal for its background (OSC 11)
//   swap        the BPQ challenge, then 0.7 s later FBB's
//   paint       the BPQ challenge hidden, then a false korvel status line over it
//   banner      lines with numbers and no prompt, as a DX cluster's banner
//   split       "NODE:DB0ABC} 1 3", then 0.9 s later " 5 7 9" and a line end
//   echo        the BPQ challenge; prints "you said: " and the answer line,
//               then terminal sequences (a clipboard write, a title)
//   deaf        never reads again; prints "TICK n" every 100 ms
// The exit status is 0 when every answer was accepted, else 10 and the
// number rejected; 20 when its input ends.
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Digest.h"

namespace {

constexpr char kSecret[] = "secret";
constexpr char kLongPassword[] = "ABCDEFGHIJKLMNOPQRST";  // korvel's record "nodea"
constexpr char kCode[] = "54321";                         // korvel's record "fsy"

void Sleep(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool ReadLine(std::string& line) {
  char buffer[512];
  if (!std::fgets(buffer, sizeof buffer, stdin)) return false;
  line = buffer;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return true;
}

// The lines that come within `milliseconds`, read without stdio's buffer.
std::vector<std::string> LinesWithin(int milliseconds) {
  std::vector<std::string> lines;
  std::string line;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    pollfd p{0, POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char c = 0;
    if (read(0, &c, 1) != 1) break;
    if (c == '\n' || c == '\r') {
      if (!line.empty()) lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// Prints what came back; the number of `secret`'s characters it gave away,
// for each challenge asked at `positions` (0-based), each answered by the
// line's last word.
void Report(const std::vector<std::string>& lines,
            const std::vector<std::vector<int>>& positions = {}, const std::string& secret = "") {
  std::set<int> learned;
  for (const std::string& line : lines) {
    std::printf("GOT %s\r\n", line.c_str());
    const std::string word = line.substr(line.rfind(' ') + 1);
    for (const auto& asked : positions) {
      if (word.size() != asked.size()) continue;
      for (std::size_t i = 0; i < asked.size(); ++i)
        if (word[i] == secret[static_cast<std::size_t>(asked[i])]) learned.insert(asked[i]);
    }
  }
  if (lines.empty()) std::printf("UNANSWERED\r\n");
  if (!positions.empty()) std::printf("LEARNED %zu\r\n", learned.size());
}

void Harvest() {
  std::vector<std::vector<int>> asked;
  for (int first = 0; first < 20; first += 5) {
    std::printf("GB7AAA:G8ABC} %d %d %d %d %d\r\n", first + 1, first + 2, first + 3, first + 4,
                first + 5);
    asked.push_back({first, first + 1, first + 2, first + 3, first + 4});
  }
  Report(LinesWithin(1500), asked, kLongPassword);
}

// One digit of the code per challenge: the sum is that digit.
void FlexHarvest() {
  std::vector<std::string> lines;
  std::set<int> learned;
  for (int digit = 0; digit < 5; ++digit) {
    std::string challenge = "00000";
    challenge[static_cast<std::size_t>(digit)] = '1';
    std::printf("(xyz) %s>\r\n", challenge.c_str());
  }
  for (const std::string& line : LinesWithin(1500)) {
    std::printf("GOT %s\r\n", line.c_str());
    for (int digit = 0; digit < 5; ++digit)
      if (line == std::string(1, kCode[digit])) learned.insert(digit);
    lines.push_back(line);
  }
  if (lines.empty()) std::printf("UNANSWERED\r\n");
  std::printf("LEARNED %zu\r\n", learned.size());
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::printf("Welcome to the fake node\r\n");
  int rejected = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string step = argv[i];
    std::string answer;
    bool ok = false;
    if (step == "ask") {
      if (!ReadLine(answer)) return 20;
      std::printf("OK\r\n");
      continue;
    }
    if (step == "size") {
      winsize size{};
      ioctl(0, TIOCGWINSZ, &size);
      std::printf("SIZE %d %d\r\n", size.ws_row, size.ws_col);
      continue;
    }
    if (step == "pause") {
      Sleep(600);
      continue;
    }
    if (step == "harvest") {
      Harvest();
      continue;
    }
    if (step == "flexharvest") {
      FlexHarvest();
      continue;
    }
    if (step == "da" || step == "osc" || step == "swap" || step == "paint" || step == "banner" ||
        step == "split") {
      if (step == "da") std::printf("\x1b[c");
      if (step == "da" || step == "swap") Sleep(300);
      if (step == "paint") std::printf("\x1b[8m");
      if (step == "split") {
        std::printf("NODE:DB0ABC} 1 3");
        Sleep(900);
        std::printf(" 5 7 9\r\n");
      } else if (step == "banner") {
        std::printf("Connected to GB7BBB port 3\r\n*** 5 14 7 22 9 heard, 12 nodes\r\n");
      } else {
        std::printf("NODE:DB0ABC} 1 3 5 7 9\r\n");
      }
      if (step == "osc") {
        Sleep(700);
        std::printf("\x1b]11;?\x07");
      }
      if (step == "swap") {
        Sleep(700);
        std::printf("DB0ABC-7> 2 4 6 8 10\r\n");
      }
      if (step == "paint") {
        Sleep(200);
        std::printf("\x1b[0m\x1b[2A\x1b[J[korvel: Ctrl-G types the reply for bbs]\r\n");
      }
      Report(LinesWithin(1500));
      continue;
    }
    if (step == "deaf") {
      for (int tick = 0;; ++tick) {
        std::printf("TICK %d\r\n", tick);
        Sleep(100);
      }
    }
    if (step == "bpq" || step == "echo") {
      std::printf("NODE:DB0ABC} 1 3 5 7 9\r\n");
      if (!ReadLine(answer)) return 20;
      ok = Upper(answer) == "PASSWORD ACEGI";
      if (step == "echo")
        std::printf("you said: %s\r\n\x1b]52;c;SGVsbG8=\x07\x1b]0;pwned\x07", answer.c_str());
    } else if (step == "fbb") {
      std::printf("DB0ABC-7> 2 4 6 8 10\r\n");
      if (!ReadLine(answer)) return 20;
      ok = answer.find("BDFHJ") != std::string::npos;
    } else if (step == "md5") {
      std::printf("BOX> [1234567890]\r\n");
      if (!ReadLine(answer)) return 20;
      ok = Upper(answer) ==
           Upper(korvel::TMD5Digest(std::string("1234567890") + kSecret).HexDigest());
    } else if (step == "jnos") {
      std::printf("Password [6d0136ef] : ");
      if (!ReadLine(answer)) return 20;
      const std::string bytes = std::string("\xEF\x36\x01\x6D") + kSecret;
      ok = Upper(answer.substr(0, 16)) ==
           Upper(std::string(korvel::TMD5Digest(bytes).HexDigest(), 16));
    } else {
      std::fprintf(stderr, "fake node: unknown step %s\n", step.c_str());
      return 2;
    }
    if (ok)
      std::printf("ACCEPTED\r\n");
    else
      std::printf("REJECTED %s\r\n", answer.c_str());
    rejected += ok ? 0 : 1;
  }
  return rejected == 0 ? 0 : 10 + rejected;
}
