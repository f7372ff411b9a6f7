// Challenges printed the way real node and mailbox programs print them,
// answered by the automatic reply over the records an operator stores for
// each, and checked the way each node checks the answer. The node side is
// written here from the nodes' rules, not from Korvel's code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Digest.h"
#include "MemoryStore.h"
#include "Records.h"
#include "ReferenceMD2.h"
#include "ZORVAModule.h"

namespace korvel {
namespace {

using TRandom = std::mt19937;

constexpr char kAlnum[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr char kDigits[] = "0123456789";

int Draw(TRandom& random, int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(random);
}

std::string Drawn(TRandom& random, int length, std::string_view alphabet) {
  std::string out;
  for (int i = 0; i < length; ++i)
    out += alphabet[static_cast<std::size_t>(Draw(random, 0, int(alphabet.size()) - 1))];
  return out;
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

// Five positions in the password, counted from `first`; with `distinct`
// none twice and none at a blank (as TheNetNode draws them).
std::vector<int> Positions(TRandom& random, const std::string& password, int first, bool distinct) {
  std::vector<int> out;
  while (out.size() < 5) {
    int index = Draw(random, 0, int(password.size()) - 1);
    if (distinct && (password[std::size_t(index)] == ' ' ||
                     std::find(out.begin(), out.end(), index + first) != out.end()))
      continue;
    out.push_back(index + first);
  }
  return out;
}

std::string Numbers(const std::vector<int>& numbers) {
  std::string out;
  for (int n : numbers) out += (out.empty() ? "" : " ") + std::to_string(n);
  return out;
}

// The characters of the password at the positions, counted from `first`.
std::string Picked(const std::string& password, const std::vector<int>& positions, int first) {
  std::string out;
  for (int p : positions) out += password.at(std::size_t(p - first));
  return out;
}

// ---- how the nodes check an answer line ----------------------------------

// BPQ: "PASSWORD xxxxx"; the sum of the codes of the word's first five
// characters equals that of the characters at the positions, both upper-cased.
bool BpqAccepts(const std::string& password, const std::vector<int>& positions,
                const std::string& line) {
  const std::string command = "PASSWORD ";
  if (line.compare(0, command.size(), command) != 0 || line.size() < command.size() + 5)
    return false;
  int want = 0, got = 0;
  for (std::size_t i = 0; i < 5; ++i) {
    want += Upper(password.at(std::size_t(positions[i] - 1)));
    got += Upper(line[command.size() + i]);
  }
  return want == got;
}

// TheNetNode, TheNet, OpenBCM, axspawn: the answer anywhere in the line.
bool Anywhere(const std::string& answer, const std::string& line) {
  return line.find(answer) != std::string::npos;
}

// DXSpider: the five characters in order, anything between them.
bool InOrder(const std::string& answer, const std::string& line) {
  std::size_t at = 0;
  for (char c : answer) {
    at = line.find(c, at);
    if (at == std::string::npos) return false;
    ++at;
  }
  return true;
}

// JNOS: the first 16 hex digits of the MD5 of the time's four bytes, least
// significant first, and the password.
bool JnosAccepts(uint32_t time, const std::string& password, const std::string& line) {
  std::string message;
  for (int i = 0; i < 4; ++i) message += char((time >> (8 * i)) & 0xFF);
  const std::string digest = TMD5Digest(std::string_view(message + password)).HexDigest();
  return line.size() >= 16 && SameNoCase(line.substr(0, 16), digest.substr(0, 16));
}

// FlexNet SY: the sum of each digit times the code's digit at its place.
bool FlexnetAccepts(const std::string& number, const std::string& code, const std::string& line) {
  int sum = 0;
  for (std::size_t i = 0; i < 5; ++i) sum += (number[i] - '0') * (code[i] - '0');
  return line == std::to_string(sum);
}

std::string MD5Hex(const std::string& text) {
  return TMD5Digest(std::string_view(text)).HexDigest();
}

// ---- the nodes -------------------------------------------------------------

struct TRound {
  std::vector<TClientPassword> Records;  // as the operator stores them, in list order
  std::string Shown;                     // what the node prints
  std::string Command;                   // what the operator types before the answer
  std::function<bool(const std::string& line)> Accepts;
};

// Two records under one prompt, in the order this seed takes.
std::vector<TClientPassword> Both(TClientPassword a, TClientPassword b, int seed) {
  if (seed % 2) std::swap(a, b);
  return {a, b};
}

// A matrix node that prints `header` and five 1-based positions.
TRound Matrix(TRandom& random, const std::string& header, bool distinct, std::string after = "\r") {
  std::string password = Drawn(random, Draw(random, 8, 40), kAlnum);
  if (distinct) password[std::size_t(Draw(random, 0, int(password.size()) - 1))] = ' ';
  std::vector<int> positions = Positions(random, password, 1, distinct);
  return {{test::Record("node", header, password, "M5")},
          header + "  " + Numbers(positions) + after,
          "",
          [=](const std::string& line) { return Anywhere(Picked(password, positions, 1), line); }};
}

// OpenBCM: one prompt for its matrix and its MD2 or MD5 login.
TRound OpenBcm(TRandom& random, int seed, bool md) {
  const std::string prompt = "DB0BCM>";
  const std::string password = Drawn(random, Draw(random, 8, 30), kAlnum);
  const bool md2 = seed / 2 % 2;
  auto both = Both(test::Record("pw", prompt, password, "M5"),
                   test::Record("md", prompt, password, md2 ? "MD2" : "MD5"), seed);
  if (!md) {
    std::vector<int> positions = Positions(random, password, 1, false);
    return {both, prompt + "  " + Numbers(positions) + "\r", "", [=](const std::string& line) {
              return Anywhere(Picked(password, positions, 1), line);
            }};
  }
  const std::string digits = Drawn(random, 10, kDigits);
  return {both, prompt + " [" + digits + "]\r", "", [=](const std::string& line) {
            return SameNoCase(
                line, md2 ? test::ReferenceMD2(digits + password) : MD5Hex(digits + password));
          }};
}

const struct {
  const char* Program;
  TRound (*Round)(TRandom&, int seed);
} kNodes[] = {
    {"LinBPQ",
     [](TRandom& random, int) {
       const std::string prompt = "BPQ:G8BPQ-" + std::to_string(Draw(random, 1, 15)) + "}";
       const std::string password = Drawn(random, Draw(random, 5, 20), kAlnum);
       std::vector<int> positions = Positions(random, password, 1, false);
       return TRound{
           {test::Record("bpq", prompt, password, "M5")},
           prompt + " " + Numbers(positions) + "\r",
           "PASSWORD ",
           [=](const std::string& line) { return BpqAccepts(password, positions, line); }};
     }},
    {"TheNetNode",
     [](TRandom& random, int) {
       return Matrix(random, "TNN:DB0TNN-" + std::to_string(Draw(random, 0, 15)) + ">", true);
     }},
    {"TheNetNode profile", [](TRandom& random, int) { return Matrix(random, "***", true, ">\r"); }},
    {"TheNet X-1J4", [](TRandom& random, int) { return Matrix(random, "HAM:DB0NET}", false); }},
    {"OpenBCM", [](TRandom& random, int seed) { return OpenBcm(random, seed, false); }},
    {"OpenBCM MD2/MD5", [](TRandom& random, int seed) { return OpenBcm(random, seed, true); }},
    {"LinFBB",
     [](TRandom& random, int seed) {
       const std::string prompt = "DB0FBB-" + std::to_string(Draw(random, 0, 15)) + ">";
       const std::string password = Drawn(random, Draw(random, 8, 30), kAlnum);
       std::vector<int> positions = Positions(random, password, 1, false);
       const std::string time = std::to_string(Draw(random, 1000000000, 2147483647));
       return TRound{Both(test::Record("fbb", prompt, password, "M5"),
                          test::Record("fbb md5", prompt, password, "MD5"), seed),
                     prompt + "  " + Numbers(positions) + " [" + time + "]\r", "",
                     // The matrix answer as the line's first five characters, or the MD5.
                     [=](const std::string& line) {
                       return line.substr(0, 5) == Picked(password, positions, 1) ||
                              SameNoCase(line, MD5Hex(time + password));
                     }};
     }},
    {"axspawn",
     [](TRandom& random, int seed) {
       const std::string prompt = "db0lnx>";
       const std::string password = Drawn(random, Draw(random, 8, 30), kAlnum);
       auto both = Both(test::Record("sys", prompt, password, "M5"),
                        test::Record("md5", prompt, password, "MD5"), seed);
       if (seed / 2 % 2) {
         std::vector<int> positions = Positions(random, password, 1, false);
         return TRound{both, prompt + "  " + Numbers(positions) + "\n", "",
                       [=](const std::string& line) {
                         return Anywhere(Picked(password, positions, 1), line);
                       }};
       }
       const std::string challenge = Drawn(random, 10, kAlnum);
       return TRound{both, prompt + " [" + challenge + "]\n", "", [=](const std::string& line) {
                       return Anywhere(MD5Hex(challenge + password), line);
                     }};
     }},
    {"URONode",
     [](TRandom& random, int) {
       const std::string password = Drawn(random, Draw(random, 8, 30), kAlnum);
       std::vector<int> positions = Positions(random, password, 1, false);
       const std::string time = std::to_string(Draw(random, 1000000000, 2147483647));
       return TRound{
           {test::Record("uro", "Password >", password, "M5")},
           "Password > " + Numbers(positions) + " [" + time + "]\r",
           "",
           [=](const std::string& line) { return line == Picked(password, positions, 1); }};
     }},
    {"DXSpider",
     [](TRandom& random, int) {
       const std::string password = Drawn(random, Draw(random, 5, 30), kAlnum);
       std::vector<int> positions = Positions(random, password, 0, false);
       return TRound{
           {test::Record("dx", "", password, "0M5")},
           Numbers(positions) + "\n",
           "",
           [=](const std::string& line) { return InOrder(Picked(password, positions, 0), line); }};
     }},
    {"JNOS 2",
     [](TRandom& random, int) {
       const std::string password = Drawn(random, Draw(random, 1, 30), kAlnum);
       // Times of every length of hex digits, 1 to 8.
       const uint32_t time = uint32_t(random()) >> Draw(random, 0, 31);
       char shown[64];
       std::snprintf(shown, sizeof shown, "Password [%x] : ", unsigned(time));
       return TRound{{test::Record("jnos", "Password", password, "NOSMD5")},
                     shown,
                     "",
                     [=](const std::string& line) { return JnosAccepts(time, password, line); }};
     }},
    {"FlexNet SY",
     [](TRandom& random, int) {
       const std::string code = Drawn(random, 5, kDigits);
       const std::string number = Drawn(random, 5, kDigits);
       return TRound{{test::Record("sy", ")", code, "SYDIGITS")},
                     "(" + Drawn(random, 3, kAlnum) + ") " + number + ">",
                     "",
                     [=](const std::string& line) { return FlexnetAccepts(number, code, line); }};
     }},
    {"XRouter",
     [](TRandom& random, int) {
       const std::string password = Drawn(random, Draw(random, 5, 30), kAlnum);
       std::string shown;
       std::vector<std::string> answers;
       for (int i = 0; i < 5; ++i) {
         std::vector<int> positions = Positions(random, password, 0, false);
         shown += Numbers(positions) + "\r";
         answers.push_back(Picked(password, positions, 0));
       }
       return TRound{
           {test::Record("xr", "", password, "0M5")}, shown, "@ ", [=](const std::string& line) {
             for (const std::string& answer : answers)
               if (line == "@ " + answer) return true;
             return false;
           }};
     }},
};

TEST(NodeSchemes, EachNodeAcceptsTheAutomaticReply) {
  for (const auto& node : kNodes) {
    for (int seed = 0; seed < 200; ++seed) {
      TRandom random(seed);
      TRound round = node.Round(random, seed);
      auto store = std::make_shared<test::TMemoryStore>();
      store->Passwords.HasList = true;
      store->Passwords.Records = round.Records;
      TZORVAModule module(store);
      char reply[256] = "";
      ASSERT_TRUE(module.AutoReply(round.Shown.c_str(), reply, 255))
          << node.Program << ", seed " << seed << ": " << round.Shown;
      ASSERT_TRUE(round.Accepts(round.Command + reply))
          << node.Program << ", seed " << seed << ": " << round.Shown << " -> " << reply;
    }
  }
}

// What the nodes above do not print: both kinds of bracket on one line, the
// limits of the newer challenges, and the order among records whose prompts
// occur.
TEST(NodeSchemes, BracketsLimitsAndTheOrderOfRecords) {
  const std::string pw = "pw";
  const std::string fail = "<fail>";
  const struct {
    std::vector<TClientPassword> Records;
    std::string Line;
    std::string Reply;
  } cases[] = {
      {{test::Record("a", "", pw, "MD5")}, "<abc> [123]", MD5Hex("abcpw")},
      {{test::Record("a", "", pw, "MD2")}, "<abc> [123]", test::ReferenceMD2("123pw")},
      {{test::Record("a", "", pw, "MD2")}, "B> <abc>", test::ReferenceMD2("abcpw")},
      {{test::Record("a", "", pw, "MD5")}, "B> [abc]", MD5Hex("abcpw")},
      {{test::Record("a", "P", pw, "NOSMD5")}, "P [0]", MD5Hex(std::string(4, '\0') + pw)},
      {{test::Record("a", "P", pw, "NOSMD5")}, "P [FFFFFFFF]", MD5Hex("\xFF\xFF\xFF\xFFpw")},
      {{test::Record("a", "P", pw, "NOSMD5")}, "P [123456789]", fail},
      {{test::Record("a", "P", pw, "NOSMD5")}, "P [12g4]", fail},
      {{test::Record("a", "P", pw, "NOSMD5")}, "P <12>", fail},
      {{test::Record("a", ")", "54321", "SYDIGITS")}, "(12345) 1234 123456 12345>", "35"},
      {{test::Record("a", ")", "54321", "SYDIGITS")}, "(abc) 1234 123456>", fail},
      {{test::Record("a", ")", "5432", "SYDIGITS")}, "(abc) 12345>", fail},
      {{test::Record("a", ")", "5432x", "SYDIGITS")}, "(abc) 12345>", fail},
      {{test::Record("a", ")", "", "SYDIGITS")}, "(abc) 12345>", fail},
      {{test::Record("a", "", "abc", "0M3")}, "2 0 1", "cab"},
      {{test::Record("a", "", "abc", "0M3")}, "1 3", "b"},  // 3 is beyond: partial
      {{test::Record("a", "", "abc", "0M3")}, "3", fail},
      // One prompt, a matrix and MD5: a number after the prompt is the matrix's.
      {{test::Record("m", "P>", "abcdefghij", "M5"), test::Record("5", "P>", pw, "MD5")},
       "P>  3 1 10 2 2 [1442645921]",
       "cajbb"},
      {{test::Record("m", "P>", "abcdefghij", "M5"), test::Record("5", "P>", pw, "MD5")},
       "P> [A1b2]",
       MD5Hex("A1b2pw")},
      {{test::Record("m", "P>", "abcdefghij", "M5"), test::Record("5", "P>", pw, "MD5")},
       "P> x 3 1",
       "ca"},  // the MD5 record has no answer: the matrix answers after all
      {{test::Record("m", "P>", "abcdefghij", "M5")}, "P> [A1b2]", "aba"},  // alone: as ever
      {{test::Record("5", "P>", pw, "MD5"), test::Record("m", "P>", "abcdefghij", "M5")},
       "P>  3 1",
       "ca"},
      // A record whose prompt does not occur is never tried.
      {{test::Record("5", "Q>", pw, "MD5"), test::Record("m", "P>", "abcdefghij", "M5")},
       "P> [3] Q",
       "ca"},
  };
  for (const auto& c : cases) {
    TZORVAModule module(nullptr);
    module.ClientPasswords->Assign(c.Records);
    char reply[256] = "";
    const std::string got = module.AutoReply(c.Line.c_str(), reply, 255) ? reply : fail;
    EXPECT_EQ(got, c.Reply) << c.Line;
  }
}

}  // namespace
}  // namespace korvel
