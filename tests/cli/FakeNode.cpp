// A node for korvel session's tests: it prints challenges the way real
// nodes do and checks each answer line the way those nodes check it.
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
// After each challenge it prints "ACCEPTED" or "REJECTED". The exit status
// is 0 when every answer was accepted, else 10 and the number rejected; 20
// when its input ends.
#include <sys/ioctl.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "Digest.h"

namespace {

constexpr char kSecret[] = "secret";

bool ReadLine(std::string& line) {
  char buffer[512];
  if (!std::fgets(buffer, sizeof buffer, stdin)) return false;
  line = buffer;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return true;
}

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
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
    if (step == "bpq") {
      std::printf("NODE:DB0ABC} 1 3 5 7 9\r\n");
      if (!ReadLine(answer)) return 20;
      ok = Upper(answer) == "PASSWORD ACEGI";
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
    std::printf(ok ? "ACCEPTED\r\n" : "REJECTED\r\n");
    rejected += ok ? 0 : 1;
  }
  return rejected == 0 ? 0 : 10 + rejected;
}
