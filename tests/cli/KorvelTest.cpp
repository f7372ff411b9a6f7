// korvel's commands, run in-process against each store this platform has.
#include <gtest/gtest.h>

#include <sstream>

#include "algorithms/Digest.h"
#include "cli/Korvel.h"
#include "support/TestStores.h"

namespace korvel {
namespace {

using test::StoreKinds;
using test::TStoreKind;

struct TResult {
  int Status;
  std::string Out, Err;
};

class Korvel : public ::testing::TestWithParam<TStoreKind> {
 protected:
  std::shared_ptr<TRegStore> Store = GetParam().Make();
  std::string Dir = test::MakeTempDir();

  TResult Run(std::vector<std::string> args, const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out, err;
    cli::TConsole console{in, out, err,
                          [](std::istream& i, std::ostream&, std::string& password) {
                            return static_cast<bool>(std::getline(i, password));
                          },
                          [](const std::string& text, std::ostream&) {
                            Copied = text;
                            return true;
                          }};
    int status = cli::Run(args, Store, console);
    return {status, out.str(), err.str()};
  }
  std::string List() { return Run({"list"}).Out; }
  void AddAll() {
    ASSERT_EQ(Run({"add", "node", "--type", "matrix", "--prompt", "DB0XYZ}", "--matrix-len", "5"},
                  "abcdefghij\n").Status, 0);
    ASSERT_EQ(Run({"add", "bbs", "--type", "MD2", "--prompt", "BBS>"}, "geheim\n").Status, 0);
    ASSERT_EQ(Run({"add", "mail", "--type", "md5", "--prompt", "Mail:"}, "geheim\n").Status, 0);
    ASSERT_EQ(Run({"add", "ita", "--type", "itanet", "--prompt", "ITA 9>"}, "12345\n").Status, 0);
    ASSERT_EQ(Run({"add", "flex", "--type", "FlexNet", "--prompt", "FLX 8>"}, "12345\n").Status, 0);
  }
  static inline std::string Copied;
};

TEST_P(Korvel, AddedClientPasswordsAnswerEachType) {
  AddAll();
  EXPECT_EQ(List(),
            "0\tnode\tM5\tDB0XYZ}\n1\tbbs\tMD2\tBBS>\n2\tmail\tMD5\tMail:\n"
            "3\tita\tITANET\tITA 9>\n4\tflex\tFLEXNET\tFLX 8>\n");
  EXPECT_EQ(Run({"reply", "DB0XYZ} 3 1 10 2 2"}).Out, "cajbb\n");
  EXPECT_EQ(Run({"reply", "BBS> Login [ 472 ] >"}).Out,
            std::string(TMD2Digest("472geheim").HexDigest()) + "\n");
  EXPECT_EQ(Run({"reply", "Mail:", "<x9q2>"}).Out,  // several words are one line
            std::string(TMD5Digest("x9q2geheim").HexDigest()) + "\n");
  EXPECT_EQ(Run({"reply", "ITA 9> 12 5 33 4 17"}).Out, "222\n");
  EXPECT_EQ(Run({"reply", "--copy", "FLX 8> 12 5 33 4 17"}).Out, "166\n");
  EXPECT_EQ(Copied, "166");
  TResult none = Run({"reply", "nobody asks this"});
  EXPECT_EQ(none.Status, 1);
  EXPECT_EQ(none.Out, "");
  EXPECT_EQ(none.Err, "No password found!\n");
}

TEST_P(Korvel, StandardInputIsAnsweredLineByLineInStep) {
  AddAll();
  TResult r = Run({"reply"}, "ITA 9> 1 1 1 1 1\r\nnothing here\n\nFLX 8> 1 1 1 1 1\n");
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out, "15\n\n\n15\n");
}

TEST_P(Korvel, ShowHidesThePasswordUnlessAsked) {
  AddAll();
  TResult shown = Run({"show", "BBS"});  // TAGs are found whatever their case
  EXPECT_EQ(shown.Out, "Tag:       bbs\nPrompt:    BBS>\nType:      MD2\n"
                       "Password:  (hidden: --reveal shows it)\n");
  EXPECT_NE(Run({"show", "bbs", "--reveal"}).Out.find("Password:  geheim\n"), std::string::npos);
}

TEST_P(Korvel, SetRenameAndDeleteChangeTheList) {
  AddAll();
  EXPECT_EQ(Run({"set", "bbs", "--type", "md5", "--prompt", "BOX>", "--password"}, "neu\n").Status, 0);
  EXPECT_EQ(Run({"reply", "BOX> <1>"}).Out, std::string(TMD5Digest("1neu").HexDigest()) + "\n");
  EXPECT_EQ(Run({"set", "node", "--matrix-len", "2"}).Status, 0);
  EXPECT_EQ(Run({"reply", "DB0XYZ} 1 2 3"}).Out, "ab\n");

  TResult same = Run({"rename", "node", "NODE"});  // its own name in other case
  EXPECT_EQ(same.Status, 1);
  EXPECT_EQ(same.Err, "korvel: the TAG 'NODE' is already in the list\n");
  EXPECT_EQ(Run({"rename", "node", "Mail"}).Status, 1);
  EXPECT_EQ(Run({"rename", "node", "gateway"}).Status, 0);
  EXPECT_EQ(Run({"delete", "ita"}).Status, 0);
  EXPECT_EQ(List(), "0\tgateway\tM2\tDB0XYZ}\n1\tbbs\tMD5\tBOX>\n2\tmail\tMD5\tMail:\n"
                    "3\tflex\tFLEXNET\tFLX 8>\n");
}

TEST_P(Korvel, BadInputSaysWhatIsWrongAndChangesNothing) {
  AddAll();
  const std::string before = Run({"export"}).Out;
  const std::string longText(256, 'x');
  struct Case {
    std::vector<std::string> Args;
    std::string Input;
    int Status;
    std::string Err;
  } cases[] = {
      {{"frobnicate"}, "", 2, "korvel: unknown command 'frobnicate' (korvel --help lists them)\n"},
      {{"list", "--fast"}, "", 2, "korvel: unknown option --fast (korvel --help lists them)\n"},
      {{}, "", 2, "korvel: no command given (korvel --help lists them)\n"},
      {{"delete", "nosuch"}, "", 1, "korvel: no client password has the TAG 'nosuch'\n"},
      {{"add", "x", "--type", "sha1", "--prompt", "p"}, "pw\n", 2,
       "korvel: unknown type 'sha1' (matrix, md2, md5, itanet or flexnet)\n"},
      {{"add", "x", "--type", "matrix", "--prompt", "p", "--matrix-len", "five"}, "pw\n", 2,
       "korvel: --matrix-len must be a number from 1 to 99, not 'five'\n"},
      {{"add", "x", "--type", "matrix", "--prompt", "p"}, "pw\n", 2,
       "korvel: the type matrix needs --matrix-len\n"},
      {{"add", "x", "--type", "md5"}, "pw\n", 2, "korvel: add needs --prompt\n"},
      {{"add", "x", "--type", "md5", "--prompt", longText}, "pw\n", 1,
       "korvel: the prompt is longer than the store's 255 characters\n"},
      {{"add", "x", "--type", "md5", "--prompt", "p"}, longText + "\n", 1,
       "korvel: the password is longer than the store's 255 characters\n"},
      {{"add", longText, "--type", "md5", "--prompt", "p"}, "pw\n", 1,
       "korvel: the TAG is longer than the store's 255 characters\n"},
      {{"add", "BBS", "--type", "md5", "--prompt", "p"}, "pw\n", 1,
       "korvel: the TAG 'BBS' is already in the list\n"},
      {{"add", "x", "--type", "md5", "--prompt", "p"}, "", 1, "korvel: no password was given\n"},
      {{"show", "bbs", "--copy"}, "", 2, "korvel: --copy does not go with show\n"},
      {{"rename", "bbs"}, "", 2, "korvel: rename takes OLD and NEW\n"},
      {{"import", Dir + "/missing.reg"}, "", 1, "korvel: cannot read " + Dir + "/missing.reg\n"},
  };
  for (const Case& c : cases) {
    TResult r = Run(c.Args, c.Input);
    EXPECT_EQ(r.Status, c.Status) << r.Err;
    EXPECT_EQ(r.Err, c.Err);
  }
  EXPECT_EQ(Run({"export"}).Out, before);
}

TEST_P(Korvel, ExportAndImportRoundTripToTheSameBytes) {
  AddAll();
  const std::string file = Dir + "/list.reg";
  ASSERT_EQ(Run({"export", file}).Status, 0);
  const std::string exported = test::ReadFileBytes(file);
  EXPECT_EQ(exported.rfind("REGEDIT4\r\n", 0), 0u);
  ASSERT_EQ(Run({"delete", "bbs"}).Status, 0);
  ASSERT_EQ(Run({"import", file}).Status, 0);
  EXPECT_EQ(Run({"export"}).Out, exported);
  EXPECT_EQ(Run({"reply", "BBS> [472]"}).Out, std::string(TMD2Digest("472geheim").HexDigest()) + "\n");
}

std::string Utf16(const std::string& text) {
  std::string out("\xFF\xFE", 2);
  for (char c : text) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

TEST_P(Korvel, ImportReadsTheUtf16FilesOfRegExport) {
  const std::string file = Dir + "/windows.reg";
  test::WriteFileBytes(file, Utf16(
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Calvek\\ZORVA\\CurrentVersion]\r\n"
      "\"MajorVersion\"=dword:00000001\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Calvek\\ZORVA\\CurrentVersion\\ClientPasswords\\0]\r\n"
      "\"Tag\"=\"win\"\r\n\"Challenge\"=\"WIN>\"\r\n"
      "\"String\"=hex(1):67,00,65,00,68,00,65,00,69,00,6d,00,00,00\r\n"
      "\"Type\"=\"MD5\"\r\n"));
  ASSERT_EQ(Run({"import", file}).Err, "");
  EXPECT_EQ(List(), "0\twin\tMD5\tWIN>\n");
  EXPECT_EQ(Run({"reply", "WIN> <7>"}).Out, std::string(TMD5Digest("7geheim").HexDigest()) + "\n");
}

TEST_P(Korvel, BadImportFilesNameTheirProblemAndChangeNothing) {
  AddAll();
  const std::string before = Run({"export"}).Out;
  struct Case {
    std::string Bytes;
    std::string Err;
  } cases[] = {
      {"", "line 1: empty file: no REGEDIT4 header"},
      {std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10), "line 1: not a registry export file: no REGEDIT4 header"},
      {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Calvek\\ZORVA\\CurrentVersion]\r\n\"Build\"=dword:zz\r\n",
       "line 3: dword value that is not 1 to 8 hex digits"},
      {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\n",
       "holds no client passwords (no [HKEY_LOCAL_MACHINE\\SOFTWARE\\Calvek\\ZORVA\\CurrentVersion] key)"},
      {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Calvek\\ZORVA\\CurrentVersion\\ClientPasswords\\0]\r\n"
       "\"Tag\"=\"" + std::string(300, 't') + "\"\r\n",
       ": client password 0: \"Tag\" is longer than the store's 255 characters"},
  };
  const std::string file = Dir + "/bad.reg";
  for (const Case& c : cases) {
    test::WriteFileBytes(file, c.Bytes);
    TResult r = Run({"import", file});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find(c.Err), std::string::npos) << r.Err;
    EXPECT_EQ(r.Err.rfind("korvel: " + file, 0), 0u) << r.Err;
  }
  EXPECT_EQ(Run({"export"}).Out, before);
}

TEST_P(Korvel, HelpAndVersion) {
  EXPECT_EQ(Run({"--version"}).Out, "korvel 3.0\n");
  EXPECT_NE(Run({"--help"}).Out.find("usage: korvel [--store PATH] COMMAND"), std::string::npos);
  for (const char* command : {"reply", "list", "show", "add", "set", "rename", "delete", "export", "import"}) {
    TResult r = Run({command, "--help"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out.rfind(std::string("usage: korvel ") + command, 0), 0u) << command;
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, Korvel, ::testing::ValuesIn(StoreKinds()),
                         [](const auto& info) { return info.param.Name; });

}  // namespace
}  // namespace korvel
