// korvel's commands, run in-process against each store this platform has.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "Digest.h"
#include "Korvel.h"
#include "PasswordStore.h"
#include "FileIO.h"
#include "FileStore.h"
#include "MemoryStore.h"
#include "Records.h"
#include "TestStores.h"

namespace korvel {
namespace {

using test::StoreKinds;
using test::TStoreKind;

struct TResult {
  int Status;
  std::string Out, Err;
};

std::string& Copied() {
  static std::string text;
  return text;
}

// Runs korvel in-process on a store, with standard input and the password
// prompt fed from `input`; no terminal to ask questions on.
TResult RunOn(std::shared_ptr<TPasswordStore> store, std::vector<std::string> args,
              const std::string& input = "",
              bool (*readPassword)(cli::TInput&, cli::TOutput&, std::string&) = nullptr) {
  cli::TTextInput in(input);
  cli::TTextOutput out, err;
  cli::TConsole console{in, out, err,
                        readPassword ? readPassword
                                     : +[](cli::TInput& i, cli::TOutput&,
                                           std::string& password) { return i.ReadLine(password); },
                        [](const std::string& text, cli::TOutput&) {
                          Copied() = text;
                          return true;
                        }};
  console.IsTerminal = false;
  int status = cli::Run(args, std::move(store), console);
  return {status, out.Text, err.Text};
}

class Korvel : public ::testing::TestWithParam<TStoreKind> {
 protected:
  std::shared_ptr<TPasswordStore> Store = GetParam().Make().Passwords;
  std::string Dir = test::MakeTempDir();

  TResult Run(std::vector<std::string> args, const std::string& input = "") {
    return RunOn(Store, std::move(args), input);
  }
  std::string List() { return Run({"list"}).Out; }
  void AddAll() {
    ASSERT_EQ(Run({"add", "node", "--type", "matrix", "--prompt", "DB0XYZ}", "--matrix-len", "5"},
                  "abcdefghij\n")
                  .Status,
              0);
    ASSERT_EQ(Run({"add", "bbs", "--type", "MD2", "--prompt", "BBS>"}, "geheim\n").Status, 0);
    ASSERT_EQ(Run({"add", "mail", "--type", "md5", "--prompt", "Mail:"}, "geheim\n").Status, 0);
    ASSERT_EQ(Run({"add", "ita", "--type", "itanet", "--prompt", "ITA 9>"}, "12345\n").Status, 0);
    ASSERT_EQ(Run({"add", "flex", "--type", "FlexNet", "--prompt", "FLX 8>"}, "12345\n").Status, 0);
  }
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
  EXPECT_EQ(Copied(), "166");
  TResult none = Run({"reply", "nobody asks this"});
  EXPECT_EQ(none.Status, 1);
  EXPECT_EQ(none.Out, "");
  EXPECT_EQ(none.Err, "No password found!\n");
}

TEST_P(Korvel, TheNewerTypesAreAddedListedAndAnswered) {
  ASSERT_EQ(Run({"add", "jnos", "--type", "nos-md5", "--prompt", "Password"}, "geheim\n").Status,
            0);
  ASSERT_EQ(Run({"add", "sy", "--type", "flexnet-digits", "--prompt", ")"}, "54321\n").Status, 0);
  ASSERT_EQ(Run({"add", "dx", "--type", "Matrix0", "--prompt", "", "--matrix-len", "5"},
                "abcdefghijklm\n")
                .Status,
            0);
  EXPECT_EQ(List(), "0\tjnos\tNOSMD5\tPassword\n1\tsy\tSYDIGITS\t)\n2\tdx\t0M5\t\n");
  EXPECT_EQ(Run({"reply", "Password [1f] : "}).Out,
            std::string(TMD5Digest(std::string_view("\x1f\0\0\0geheim", 10)).HexDigest()) + "\n");
  EXPECT_EQ(Run({"reply", "(x7z) 12345>"}).Out, "35\n");
  EXPECT_EQ(Run({"reply", "12 0 7 3 9"}).Out, "mahdj\n");
}

TEST_P(Korvel, StandardInputIsAnsweredLineByLineInStep) {
  AddAll();
  TResult r = Run({"reply"}, "ITA 9> 1 1 1 1 1\r\nnothing here\n\nFLX 8> 1 1 1 1 1\n");
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out, "15\n\n\n15\n");
}

// A password beyond ASCII is stored as typed, with a word that its bytes
// depend on the character set; an ASCII one without.
TEST_P(Korvel, APasswordBeyondAsciiIsStoredWithANote) {
  for (const char* password : {"Passw\xF6rt", "Passw\xC3\xB6rt", "Passwort"}) {
    SCOPED_TRACE(password);
    TResult r = Run({"add", "x", "--type", "md5", "--prompt", "X>"}, std::string(password) + "\n");
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Err.find("beyond ASCII") != std::string::npos,
              std::string(password) != "Passwort")
        << r.Err;
    EXPECT_NE(Run({"show", "x", "--reveal"}).Out.find(std::string("Password:  ") + password),
              std::string::npos);
    ASSERT_EQ(Run({"delete", "x"}).Status, 0);
  }
}

TEST_P(Korvel, ShowHidesThePasswordUnlessAsked) {
  AddAll();
  TResult shown = Run({"show", "BBS"});  // TAGs are found whatever their case
  EXPECT_EQ(shown.Out,
            "Tag:       bbs\nPrompt:    BBS>\nType:      MD2\nReply:     (the bare reply)\n"
            "Trigger:   (the built-in ones only)\nPassword:  (hidden: --reveal shows it)\n");
  EXPECT_NE(Run({"show", "bbs", "--reveal"}).Out.find("Password:  geheim\n"), std::string::npos);
}

TEST_P(Korvel, SetRenameAndDeleteChangeTheList) {
  AddAll();
  EXPECT_EQ(Run({"set", "bbs", "--type", "md5", "--prompt", "BOX>", "--password"}, "neu\n").Status,
            0);
  EXPECT_EQ(Run({"reply", "BOX> <1>"}).Out, std::string(TMD5Digest("1neu").HexDigest()) + "\n");
  EXPECT_EQ(Run({"set", "node", "--matrix-len", "2"}).Status, 0);
  EXPECT_EQ(Run({"reply", "DB0XYZ} 1 2 3"}).Out, "ab\n");

  TResult same = Run({"rename", "node", "NODE"});  // its own name in other case
  EXPECT_EQ(same.Status, 1);
  EXPECT_EQ(same.Err, "korvel: the TAG 'NODE' is already in the list\n");
  EXPECT_EQ(Run({"rename", "node", "Mail"}).Status, 1);
  EXPECT_EQ(Run({"rename", "node", "gateway"}).Status, 0);
  EXPECT_EQ(Run({"delete", "ita"}).Status, 0);
  EXPECT_EQ(List(),
            "0\tgateway\tM2\tDB0XYZ}\n1\tbbs\tMD5\tBOX>\n2\tmail\tMD5\tMail:\n"
            "3\tflex\tFLEXNET\tFLX 8>\n");
}

TEST_P(Korvel, BadInputSaysWhatIsWrongAndChangesNothing) {
  AddAll();
  const std::string before = Run({"export"}).Out;
  const std::string longText(256, 'x');
  auto kKeyRefused = [](const std::string& key) {
    return "korvel: --key takes a control key as ^X or ctrl-x, not '" + key +
           "' (not ESC, Tab, Enter, Backspace or DEL, which typing needs, and not Ctrl-], "
           "telnet's escape)\n";
  };
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
      {{"add", "x", "--type", "sha1", "--prompt", "p"},
       "pw\n",
       2,
       "korvel: unknown type 'sha1' (matrix, matrix0, md2, md5, nos-md5, itanet, flexnet or "
       "flexnet-digits)\n"},
      {{"add", "x", "--type", "matrix0", "--prompt", ""},
       "pw\n",
       2,
       "korvel: the type matrix0 needs --matrix-len\n"},
      {{"add", "x", "--type", "nos-md5", "--prompt", "p", "--matrix-len", "5"},
       "pw\n",
       2,
       "korvel: --matrix-len goes only with the types matrix and matrix0\n"},
      {{"add", "x", "--type", "matrix", "--prompt", "p", "--matrix-len", "five"},
       "pw\n",
       2,
       "korvel: --matrix-len must be a number from 1 to 99, not 'five'\n"},
      {{"add", "x", "--type", "matrix", "--prompt", "p"},
       "pw\n",
       2,
       "korvel: the type matrix needs --matrix-len\n"},
      {{"add", "x", "--type", "md5"}, "pw\n", 2, "korvel: add needs --prompt\n"},
      {{"add", "x", "--type", "md5", "--prompt", longText},
       "pw\n",
       1,
       "korvel: the prompt is longer than the store's 255 characters\n"},
      {{"add", "x", "--type", "md5", "--prompt", "p"},
       longText + "\n",
       1,
       "korvel: the password is longer than the store's 255 characters\n"},
      {{"add", longText, "--type", "md5", "--prompt", "p"},
       "pw\n",
       1,
       "korvel: the TAG is longer than the store's 255 characters\n"},
      {{"add", "BBS", "--type", "md5", "--prompt", "p"},
       "pw\n",
       1,
       "korvel: the TAG 'BBS' is already in the list\n"},
      {{"add", "x", "--type", "md5", "--prompt", "p"}, "", 1, "korvel: no password was given\n"},
      {{"show", "bbs", "--copy"}, "", 2, "korvel: --copy does not go with show\n"},
      {{"rename", "bbs"}, "", 2, "korvel: rename takes OLD and NEW\n"},
      {{"import", Dir + "/missing.reg"}, "", 1, "korvel: cannot read " + Dir + "/missing.reg\n"},
      {{"--store", "", "list"}, "", 2, "korvel: --store needs the path of a store file\n"},
      {{"import", Dir + "/x.reg", "--yes=1"}, "", 2, "korvel: --yes takes no value\n"},
      {{"set", "bbs", "--reply-line", "PASSWORD"},
       "",
       2,
       "korvel: --reply-line must hold %s (the reply) once\n"},
      {{"set", "bbs", "--reply-line", "%s\r"},
       "",
       2,
       "korvel: --reply-line holds a control character\n"},
      {{"session"},
       "",
       2,
       "korvel: session needs a COMMAND: korvel session [OPTIONS] -- COMMAND [ARGS...]\n"},
      {{"set", "bbs", "--trigger", "two words"},
       "",
       2,
       "korvel: --trigger must be one word of printable characters\n"},
      // A key is refused before the terminal is looked at: printable keys are
      // typing, and terminal reports end in them (R, c).
      {{"session", "--key", "^]", "--", "telnet"}, "", 2, kKeyRefused("^]")},
      {{"session", "--key", "s", "--", "telnet"}, "", 2, kKeyRefused("s")},
      {{"session", "--key", "R", "--", "telnet"}, "", 2, kKeyRefused("R")},
      {{"session", "--key", "^[", "--", "telnet"}, "", 2, kKeyRefused("^[")},
      {{"session", "--quiet-ms", "0", "--", "telnet"},
       "",
       2,
       "korvel: --quiet-ms must be a number of milliseconds from 1 to 999999999\n"},
      {{"session", "--", "telnet"}, "", 1, "korvel: session is not available on this system\n"},
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
  EXPECT_EQ(Run({"reply", "BBS> [472]"}).Out,
            std::string(TMD2Digest("472geheim").HexDigest()) + "\n");
}

// The reply line and the trigger are kept by the store, export and import,
// shown by show, and left out of korvel reply's answer.
TEST_P(Korvel, TheReplyLineAndTriggerAreKeptByEveryWriter) {
  AddAll();
  ASSERT_EQ(Run({"add", "bpq", "--type", "matrix", "--matrix-len", "5", "--prompt", "BPQ}",
                 "--reply-line", "PASSWORD %s", "--trigger", "pw"},
                "abcdefghij\n")
                .Status,
            0);
  ASSERT_EQ(Run({"set", "bbs", "--reply-line", "@ %s"}).Status, 0);
  ASSERT_EQ(Run({"set", "bbs", "--prompt", "BBS2>"}).Status, 0);  // other edits keep it
  EXPECT_NE(Run({"show", "bpq"}).Out.find("Reply:     PASSWORD %s\nTrigger:   pw\n"),
            std::string::npos);
  EXPECT_NE(Run({"show", "bbs"}).Out.find("Reply:     @ %s\n"), std::string::npos);
  EXPECT_EQ(Run({"reply", "BPQ} 1 2 3 4 5"}).Out, "abcde\n");
  const std::string file = Dir + "/list.reg";
  ASSERT_EQ(Run({"export", file}).Status, 0);
  const std::string exported = test::ReadFileBytes(file);
  EXPECT_NE(exported.find("\"ReplyLine\"=\"PASSWORD %s\""), std::string::npos);
  EXPECT_NE(exported.find("\"Trigger\"=\"pw\""), std::string::npos);
  ASSERT_EQ(Run({"set", "bpq", "--reply-line", "", "--trigger", ""}).Status, 0);
  EXPECT_NE(Run({"show", "bpq"}).Out.find("Reply:     (the bare reply)\n"), std::string::npos);
  EXPECT_EQ(Run({"export"}).Out.find("PASSWORD"), std::string::npos);  // absent, not empty
  EXPECT_EQ(Run({"export"}).Out.find("Trigger"), std::string::npos);
  ASSERT_EQ(Run({"import", file}).Status, 0);
  EXPECT_EQ(Run({"export"}).Out, exported);
}

TEST_P(Korvel, ImportReadsTheUtf16FilesOfRegExport) {
  const std::string file = Dir + "/windows.reg";
  test::WriteFileBytes(
      file,
      test::Utf16(
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
      {std::string("\x7f"
                   "ELF\x02\x01\x01\0\0\0",
                   10),
       "line 1: not a registry export file: no REGEDIT4 header"},
      {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Calvek\\ZORVA\\CurrentVersion]\r\n\"Build\"="
       "dword:zz\r\n",
       "line 3: dword value that is not 1 to 8 hex digits"},
      {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\n",
       "holds no client passwords (no "
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Calvek\\ZORVA\\CurrentVersion] key)"},
      {"REGEDIT4\r\n[HKEY_LOCAL_"
       "MACHINE\\SOFTWARE\\Calvek\\ZORVA\\CurrentVersion\\ClientPasswords\\0]\r\n"
       "\"Tag\"=\"" +
           std::string(300, 't') + "\"\r\n",
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
  for (const char* command : {"reply", "list", "show", "add", "set", "rename", "delete", "export",
                              "import", "where", "session"}) {
    TResult r = Run({command, "--help"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out.rfind(std::string("usage: korvel ") + command, 0), 0u) << command;
  }
  EXPECT_EQ(Run({"where"}).Out, Store->Where());
  const std::string file = Dir + "/other.reg";
  EXPECT_EQ(Run({"--store", file, "where"}).Out, file + " (a store file)\n");
}

// A store with the three records that the import and failure tests start from.
std::shared_ptr<test::TMemoryStore> ThreeRecords() {
  auto store = std::make_shared<test::TMemoryStore>();
  EXPECT_EQ(
      RunOn(store, {"add", "node", "--type", "matrix", "--prompt", "DB0}", "--matrix-len", "5"},
            "abcdefghij\n")
          .Status,
      0);
  EXPECT_EQ(RunOn(store, {"add", "bbs", "--type", "md5", "--prompt", "BBS>"}, "geheim\n").Status,
            0);
  EXPECT_EQ(RunOn(store, {"add", "ita", "--type", "itanet", "--prompt", "ITA>"}, "12345\n").Status,
            0);
  return store;
}

std::string Section(const std::string& below) {
  return "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Calvek\\ZORVA\\CurrentVersion" + below + "]\r\n";
}

// An import file with these record sections' value lines (records 0, 1, ...).
std::string ImportFile(const std::vector<std::string>& records,
                       const std::string& listValues = "") {
  std::string file = "REGEDIT4\r\n" + Section("") + "\"Build\"=dword:00000002\r\n" +
                     Section("\\ClientPasswords") + listValues;
  for (std::size_t i = 0; i < records.size(); ++i)
    file += Section("\\ClientPasswords\\" + std::to_string(i)) + records[i];
  return file;
}

std::string Record(const std::string& tag, const std::string& prompt = "P>",
                   const std::string& password = "pw", const std::string& type = "MD5") {
  return "\"Tag\"=\"" + tag + "\"\r\n\"Challenge\"=\"" + prompt + "\"\r\n\"String\"=\"" + password +
         "\"\r\n\"Type\"=\"" + type + "\"\r\n";
}

TEST(KorvelImport, EveryCutOfAnExportIsRefusedUnlessItIsWhole) {
  const std::string whole = RunOn(ThreeRecords(), {"export"}).Out;
  ASSERT_NE(whole.find("\"Count\"=dword:00000003"), std::string::npos);
  auto store = std::make_shared<test::TMemoryStore>();
  ASSERT_EQ(RunOn(store, {"add", "old", "--type", "md2", "--prompt", "OLD>"}, "pw\n").Status, 0);
  const TStoredPasswords before = store->Passwords;
  const std::string file = test::MakeTempDir() + "/cut.reg";
  int imported = 0;
  for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
    test::WriteFileBytes(file, whole.substr(0, cut));
    TResult r = RunOn(store, {"import", file});
    // Only the end's empty line may be missing from a file that imports.
    bool complete = cut > 0 && whole[cut - 1] == '\n' &&
                    whole.find_first_not_of("\r\n", cut) == std::string::npos;
    if (complete) {
      EXPECT_EQ(r.Status, 0) << r.Err;
      EXPECT_EQ(RunOn(store, {"export"}).Out, whole);
      store->Passwords = before;
      ++imported;
    } else {
      ASSERT_EQ(r.Status, 1) << "cut at " << cut << " of " << whole.size() << ": "
                             << whole.substr(0, cut);
      ASSERT_EQ(store->Passwords, before) << "cut at " << cut;
    }
  }
  EXPECT_EQ(imported, 2);
}

TEST(KorvelImport, RecordsMustBeCompleteAndWithinTheStoresLimits) {
  const std::string n255(255, 'n'), n256(256, 'n');
  struct Case {
    std::string File;
    std::string Refusal;  // empty: imported
  } cases[] = {
      {ImportFile({Record(n255, n255, n255)}), ""},
      {ImportFile({Record(n256)}), "\"Tag\" is longer than the store's 255 characters"},
      {ImportFile({Record("a", n256)}), "\"Challenge\" is longer than the store's 255 characters"},
      {ImportFile({Record("a", "P", n256)}),
       "\"String\" is longer than the store's 255 characters"},
      {ImportFile({Record("a", "P", "pw", "M1"), Record("b", "Q", "pw", "M99")}), ""},
      {ImportFile({Record("a", "P", "pw", "M0")}),
       "the matrix length '0' is not a number from 1 to 99"},
      {ImportFile({Record("a", "P", "pw", "M100")}), "the matrix length '100' is not"},
      {ImportFile({Record("a", "P", "pw", "M")}), "the matrix length '' is not"},
      {ImportFile({Record("a", "P", "pw", "0M99"), Record("b", "", "pw", "0m1")}), ""},
      {ImportFile({Record("a", "P", "pw", "0M0")}), "the matrix length '0' is not"},
      {ImportFile({Record("a", "P", "pw", "0M")}), "the matrix length '' is not"},
      {ImportFile({Record("a", "P", "pw", "0M100")}), "the matrix length '100' is not"},
      {ImportFile({Record("a"), Record("A")}),
       "client password 1: the TAG 'A' is already in the list"},
      {ImportFile({"\"Tag\"=\"a\"\r\n\"Challenge\"=\"P\"\r\n\"String\"=\"pw\"\r\n"}),
       "client password 0 has no \"Type\""},
      {ImportFile({"\"Tag\"=dword:00000001\r\n\"Challenge\"=\"P\"\r\n\"String\"=\"pw\"\r\n\"Type\"="
                   "\"MD5\"\r\n"}),
       "\"Tag\" is not a text"},
      {ImportFile({"\"Tag\"=\"a\"\r\n\"Challenge\"=\"P\"\r\n\"String\"=hex(1):70,00,77\r\n\"Type\"="
                   "\"MD5\"\r\n"}),
       "\"String\" holds a zero byte"},
      {ImportFile({"\"Tag\"=\"a\"\r\n\"Challenge\"=\"P\"\r\n\"String\"=hex(1):70,77,00\r\n\"Type\"="
                   "\"MD5\"\r\n"}),
       ""},
      {ImportFile({Record("a")}, "\"Count\"=dword:00000002\r\n"),
       "holds 1 of the 2 client passwords"},
      {ImportFile({Record("a")}, "\"Count\"=\"1\"\r\n"), "\"Count\" is not a dword"},
      {ImportFile({Record("a") + "\"Foreign\"=\"x\"\r\n"},
                  "\"Count\"=dword:00000001\r\n\"Foreign\"=\"y\"\r\n"),
       ""},
      {ImportFile({}, "\"Count\"=dword:00000000\r\n"), ""},
      {ImportFile({Record("a") + "\"ReplyLine\"=\"" + n255 + "\"\r\n"}), ""},
      {ImportFile({Record("a") + "\"ReplyLine\"=\"" + n256 + "\"\r\n"}),
       "\"ReplyLine\" is longer than the store's 255 characters"},
      {ImportFile({Record("a") + "\"ReplyLine\"=dword:00000001\r\n"}),
       "\"ReplyLine\" is not a text"},
      {ImportFile({Record("a") + "\"Trigger\"=\"" + n256 + "\"\r\n"}),
       "\"Trigger\" is longer than the store's 255 characters"},
      {ImportFile({}), "holds no client passwords (a file that empties the list says"},
      {"REGEDIT4\r\n" + Section("") + "\"Build\"=dword:00000002\r\n",
       "holds no client passwords (no [HKEY_LOCAL_MACHINE\\SOFTWARE\\Calvek\\ZORVA\\CurrentVersion"
       "\\ClientPasswords] key)"},
      {ImportFile({Record("a")}) + "\"Foreign\"=\"x\"", "line 13: the line has no line end"},
  };
  const std::string file = test::MakeTempDir() + "/import.reg";
  for (const Case& c : cases) {
    auto store = ThreeRecords();
    const TStoredPasswords before = store->Passwords;
    test::WriteFileBytes(file, c.File);
    TResult r = RunOn(store, {"import", file});
    if (c.Refusal.empty()) {
      EXPECT_EQ(r.Status, 0) << r.Err;
      // The records and version values are taken, and nothing else of the file.
      auto imported = std::make_shared<test::TMemoryStore>();
      ReadPasswords(*ParseRegFile(c.File).Root, imported->Passwords);
      EXPECT_EQ(RunOn(store, {"show", "a", "--reveal"}).Out,
                RunOn(imported, {"show", "a", "--reveal"}).Out);
      std::string list = RunOn(store, {"list"}).Out;
      EXPECT_EQ(list, RunOn(imported, {"list"}).Out);
      EXPECT_EQ(std::count(list.begin(), list.end(), '\n'),
                std::count(c.File.begin(), c.File.end(), '[') - 2);
      EXPECT_EQ(RunOn(store, {"export"}).Out.find("Foreign"), std::string::npos);
      EXPECT_EQ(store->Passwords.Versions.Build, 2u);
    } else {
      EXPECT_EQ(r.Status, 1) << c.Refusal;
      EXPECT_NE(r.Err.find(c.Refusal), std::string::npos) << r.Err;
      EXPECT_EQ(store->Passwords, before) << c.Refusal;
    }
  }
}

TEST(KorvelImport, OnATerminalItAsksBeforeItReplacesTheList) {
  const std::string file = test::MakeTempDir() + "/two.reg";
  test::WriteFileBytes(file,
                       ImportFile({Record("a"), Record("b")}, "\"Count\"=dword:00000002\r\n"));
  static std::string asked;
  struct Case {
    std::vector<std::string> Args;
    bool Terminal, Yes;
    std::string Question;
    int Status;
  } cases[] = {
      {{"import", file},
       true,
       false,
       "Replace the 3 client passwords in the store by the 2 of " + file + "?",
       1},
      {{"import", file},
       true,
       true,
       "Replace the 3 client passwords in the store by the 2 of " + file + "?",
       0},
      {{"import", file, "--yes"}, true, false, "", 0},
      {{"import", file}, false, false, "", 0},
  };
  for (const Case& c : cases) {
    auto store = ThreeRecords();
    const TStoredPasswords before = store->Passwords;
    cli::TTextInput in("");
    cli::TTextOutput out, err;
    cli::TConsole console{in, out, err, nullptr, nullptr, c.Terminal,
                          c.Yes ? +[](cli::TInput&, cli::TOutput&, const std::string& q) {
                            asked = q;
                            return true;
                          }
                                : +[](cli::TInput&, cli::TOutput&, const std::string& q) {
                                    asked = q;
                                    return false;
                                  }};
    asked.clear();
    EXPECT_EQ(cli::Run(c.Args, store, console), c.Status) << err.Text;
    EXPECT_EQ(asked, c.Question);
    EXPECT_EQ(store->Passwords == before, c.Status != 0);
  }
}

TEST(KorvelLimits, AddTakesTheStoresLimitsAndNoMore) {
  const std::string n255(255, 'n'), n256(256, 'n');
  struct Case {
    std::vector<std::string> Args;
    std::string Password;
    int Status;
  } cases[] = {
      {{"add", n255, "--type", "md5", "--prompt", n255}, n255, 0},
      {{"add", n256, "--type", "md5", "--prompt", "p"}, "pw", 1},
      {{"add", "t", "--type", "md5", "--prompt", n256}, "pw", 1},
      {{"add", "t", "--type", "md5", "--prompt", "p"}, n256, 1},
      {{"add", "t", "--type", "matrix", "--prompt", "p", "--matrix-len", "1"}, "pw", 0},
      {{"add", "t", "--type", "matrix", "--prompt", "p", "--matrix-len", "99"}, "pw", 0},
      {{"add", "t", "--type", "matrix", "--prompt", "p", "--matrix-len", "0"}, "pw", 2},
      {{"add", "t", "--type", "matrix", "--prompt", "p", "--matrix-len", "100"}, "pw", 2},
      {{"add", "t", "--type", "matrix", "--prompt", "p", "--matrix-len", "5x"}, "pw", 2},
  };
  for (const Case& c : cases) {
    auto store = std::make_shared<test::TMemoryStore>();
    EXPECT_EQ(RunOn(store, c.Args, c.Password + "\n").Status, c.Status) << c.Args[1].size();
    EXPECT_EQ(RunOn(store, {"list"}).Out.empty(), c.Status != 0);
  }
}

// A save that fails anywhere is a failure, and the store keeps what it held.
TEST(KorvelFailures, ASaveThatFailsChangesNothingAndSaysSo) {
  const std::string file = test::MakeTempDir() + "/list.reg";
  test::WriteFileBytes(file, ImportFile({Record("a"), Record("b")}));
  const std::vector<std::string> commands[] = {{"add", "new", "--type", "md5", "--prompt", "N>"},
                                               {"set", "bbs", "--prompt", "B>"},
                                               {"rename", "bbs", "box"},
                                               {"delete", "ita"},
                                               {"import", file}};
  const struct {
    const char* Fault;
    int RefuseRecord;
    std::string Err;
  } faults[] = {
      {"record 0", 0, "korvel: client password 0 ("},
      {"record 1", 1, "korvel: client password 1 ("},
      {"the store", -1, "korvel: the store was not changed: the test store refuses saves"},
  };
  for (const auto& [fault, refuseRecord, message] : faults)
    for (const auto& args : commands) {
      auto store = ThreeRecords();
      const TStoredPasswords before = store->Passwords;
      store->RefuseRecord = refuseRecord;
      store->RefuseSaves = refuseRecord < 0;
      TResult r = RunOn(store, args, "pw\n");
      EXPECT_EQ(r.Status, 1) << args[0] << " with a fault in " << fault;
      EXPECT_EQ(r.Err.rfind(message, 0), 0u)
          << args[0] << " with a fault in " << fault << ": " << r.Err;
      EXPECT_EQ(store->Passwords, before) << args[0] << " with a fault in " << fault;
    }
}

// Another program that saves between korvel's load and its save: its edit
// stays, and korvel's change is made to the list as that program left it.
TEST(KorvelFailures, AnEditSavedMeanwhileIsKept) {
  const std::vector<std::string> commands[] = {{"add", "new", "--type", "md5", "--prompt", "N>"},
                                               {"set", "bbs", "--prompt", "B>"},
                                               {"rename", "bbs", "box"},
                                               {"delete", "ita"}};
  for (const auto& args : commands) {
    auto store = ThreeRecords();
    store->BeforeSave = [](test::TMemoryStore& self) {
      self.BeforeSave = nullptr;  // once
      self.Passwords.Records.push_back(RecordFromTexts("other", "O>", "pw", "MD2"));
    };
    EXPECT_EQ(RunOn(store, args, "pw\n").Status, 0) << args[0];
    const std::string list = RunOn(store, {"list"}).Out;
    EXPECT_NE(list.find("\tother\t"), std::string::npos) << args[0] << ": " << list;
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), args[0] == "add"      ? 5
                                                          : args[0] == "delete" ? 3
                                                                                : 4)
        << args[0] << ": " << list;
  }
}

TEST(KorvelFailures, AWriterNeverGoesOnWithoutTheLock) {
  const std::string path = test::MakeTempDir() + "/store.reg";
  auto store = std::make_shared<TFileStore>(path, std::chrono::milliseconds(200));
  ASSERT_EQ(RunOn(store, {"add", "a", "--type", "md5", "--prompt", "A>"}, "pw\n").Status, 0);
  const std::string before = test::ReadFileBytes(path);
  fileio::TFileLock held(path + ".lock", true, true, std::chrono::milliseconds(0));
  ASSERT_TRUE(held.Locked());
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"add", "b", "--type", "md5", "--prompt", "B>"},
        std::vector<std::string>{"delete", "a"}}) {
    TResult r = RunOn(store, args, "pw\n");
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("the store was not changed"), std::string::npos) << r.Err;
#ifndef _WIN32
    EXPECT_NE(r.Err.find("another program holds the lock " + path + ".lock"), std::string::npos)
        << r.Err;
#endif
  }
  EXPECT_EQ(test::ReadFileBytes(path), before);
}

// The password prompt may wait for minutes: no other writer may wait with it.
TEST(KorvelFailures, NothingIsLockedWhileThePasswordIsAskedFor) {
  static std::string path;
  static int prompts, unlocked;
  path = test::MakeTempDir() + "/store.reg";
  auto store = std::make_shared<TFileStore>(path);
  auto atPrompt = +[](cli::TInput& in, cli::TOutput&, std::string& password) {
    ++prompts;
    if (fileio::TFileLock(path + ".lock", true, true, std::chrono::milliseconds(0)).Locked())
      ++unlocked;
    return in.ReadLine(password);
  };
  prompts = unlocked = 0;
  EXPECT_EQ(RunOn(store, {"add", "a", "--type", "md5", "--prompt", "A>"}, "pw\n", atPrompt).Status,
            0);
  EXPECT_EQ(RunOn(store, {"set", "a", "--password"}, "new\n", atPrompt).Status, 0);
  EXPECT_EQ(prompts, 2);
  EXPECT_EQ(unlocked, 2);
  EXPECT_NE(RunOn(store, {"show", "a", "--reveal"}).Out.find("Password:  new\n"),
            std::string::npos);
}

TEST(KorvelStoreProblems, NoCommandWritesAStoreItCouldNotRead) {
  const std::string file = test::MakeTempDir() + "/list.reg";
  test::WriteFileBytes(file, ImportFile({Record("a")}));
  const std::vector<std::string> commands[] = {{"list"},
                                               {"reply", "A> <1>"},
                                               {"add", "b", "--type", "md5", "--prompt", "B>"},
                                               {"export"},
                                               {"import", file}};
  for (const auto& args : commands) {
    auto store = std::make_shared<test::TMemoryStore>();
    store->Unreadable = "cannot read the store S (no permission)";
    TResult r = RunOn(store, args, "pw\n");
    EXPECT_EQ(r.Status, 1) << args[0];
    EXPECT_NE(r.Err.find("cannot read the store S (no permission)"), std::string::npos) << r.Err;
    EXPECT_EQ(store->SaveCalls, 0) << args[0];
  }
}

#ifndef _WIN32
// A folder at the store's path stands for any store that exists but cannot be
// read (a file without read permission is readable by root, who runs the tests).
TEST(KorvelStoreProblems, AStoreThatCannotBeReadStopsEveryCommand) {
  const std::string dir = test::MakeTempDir(), path = dir + "/store.reg";
  ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
  test::WriteFileBytes(path + "/inside", "kept");
  const std::string file = dir + "/list.reg";
  test::WriteFileBytes(file, ImportFile({Record("a")}));
  const std::vector<std::string> commands[] = {{"list"},
                                               {"show", "a"},
                                               {"reply", "A> <1>"},
                                               {"add", "b", "--type", "md5", "--prompt", "B>"},
                                               {"set", "a", "--prompt", "Q"},
                                               {"set", "a", "--password"},
                                               {"rename", "a", "b"},
                                               {"delete", "a"},
                                               {"export"},
                                               {"export", dir + "/out.reg"},
                                               {"import", file},
                                               {"import", file, "--yes"}};
  for (const auto& args : commands) {
    TResult r = RunOn(std::make_shared<TFileStore>(path), args, "pw\n");
    EXPECT_EQ(r.Status, 1) << args[0];
    EXPECT_EQ(r.Out, "") << args[0];
    EXPECT_NE(r.Err.find(path + " is a folder, not a file"), std::string::npos)
        << args[0] << ": " << r.Err;
    EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
  }
  EXPECT_TRUE(fileio::IsSpecialFile(path));
  EXPECT_EQ(test::ReadFileBytes(path + "/inside"), "kept");
  EXPECT_FALSE(test::FileExists(dir + "/out.reg"));
  EXPECT_FALSE(test::FileExists(path + ".bad"));
}

TEST(KorvelStoreProblems, ADamagedStoreIsNamedOncePerCommand) {
  const std::string path = test::MakeTempDir() + "/store.reg";
  test::WriteFileBytes(path, ImportFile({Record("a")}) + "this line is damage\r\n");
  const std::string note = "korvel: " + path + ", line 13: ";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"list"},
        std::vector<std::string>{"add", "b", "--type", "md5", "--prompt", "B>"}}) {
    TResult r = RunOn(std::make_shared<TFileStore>(path), args, "pw\n");
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Err.find(note), 0u) << r.Err;
    EXPECT_EQ(r.Err.find(note, 1), std::string::npos) << r.Err;
  }
  TResult saved =
      RunOn(std::make_shared<TFileStore>(path), {"list"});  // the save wrote a clean store
  EXPECT_EQ(saved.Err, "");
  EXPECT_EQ(saved.Out, "0\ta\tMD5\tP>\n1\tb\tMD5\tB>\n");
}

TEST(KorvelExport, ReplacesTheOldExportWholeAndForItsOwnerOnly) {
  const std::string dir = test::MakeTempDir(), file = dir + "/list.reg";
  auto store = ThreeRecords();
  const std::string text = RunOn(store, {"export"}).Out;
  test::WriteFileBytes(file, "the old export");
  ASSERT_EQ(chmod(file.c_str(), 0644), 0);

  fileio::SetFileStepHook([](fileio::TFileStep step, const std::string&) {
    return step != fileio::TFileStep::Write;  // a full disk
  });
  TResult full = RunOn(store, {"export", file});
  fileio::SetFileStepHook(nullptr);
  EXPECT_EQ(full.Status, 1);
  EXPECT_NE(full.Err.find("cannot write " + file), std::string::npos) << full.Err;
  EXPECT_EQ(test::ReadFileBytes(file), "the old export");

  ASSERT_EQ(RunOn(store, {"export", file}).Status, 0);
  EXPECT_EQ(test::ReadFileBytes(file), text);
  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  TResult device = RunOn(store, {"export", "/dev/full"});
  EXPECT_EQ(device.Status, 1);
  EXPECT_EQ(device.Err,
            "korvel: cannot write /dev/full: No space left on device; the export is incomplete\n");
  EXPECT_EQ(RunOn(store, {"export", "/dev/null"}).Status, 0);
  // A pipe of another user's (planted where the export goes) is not written.
  if (geteuid() == 0) {
    std::string pipe = test::MakeTempDir() + "/planted.reg";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0666), 0);
    ASSERT_EQ(chown(pipe.c_str(), 4242, 4242), 0);
    int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);  // the one who planted it
    ASSERT_GE(reader, 0);
    TResult planted = RunOn(store, {"export", pipe});
    EXPECT_EQ(planted.Status, 1);
    EXPECT_NE(planted.Err.find("nothing was written"), std::string::npos) << planted.Err;
    char byte;
    EXPECT_LE(read(reader, &byte, 1), 0);
    close(reader);
    // A pipe that nobody reads is an error, not a hang.
    ASSERT_EQ(chown(pipe.c_str(), geteuid(), getegid()), 0);
    EXPECT_NE(RunOn(store, {"export", pipe}).Err.find("nobody reads"), std::string::npos);
  }
}
#endif

#ifndef _WIN32
// Import reads regular files of sane size only (no hang on a pipe, no
// endless read of a device), and never a raw store copy whose last save did
// not finish (its checked list is not the list that would be imported).
TEST(KorvelImport, ReadsOnlyWholeExportFiles) {
  auto store = std::make_shared<test::TMemoryStore>();
  std::string dir = test::MakeTempDir(), pipe = dir + "/pipe.reg", raw = dir + "/raw.reg";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  test::WriteFileBytes(
      raw,
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Calvek\\ZORVA\\CurrentVersion"
      "\\ClientPasswords]\r\n\"Count\"=dword:00000000\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Calvek\\ZORVA\\CurrentVersion\\ClientPasswords."
      "Saving]\r\n\"Complete\"=dword:00000001\r\n\r\n");
  for (const std::string& file : {pipe, std::string("/dev/zero"), raw}) {
    TResult r = RunOn(store, {"import", file});
    EXPECT_EQ(r.Status, 1) << file;
    EXPECT_NE(r.Err.find(file), std::string::npos) << r.Err;
  }
}
#endif

TEST(KorvelExport, AFailingStandardOutputIsAFailure) {
  cli::TTextInput in("");
  cli::TTextOutput out, err;
  out.Fails = true;
  cli::TConsole console{in, out, err, nullptr, nullptr, false};
  EXPECT_EQ(cli::Run({"export"}, ThreeRecords(), console), 1);
  EXPECT_EQ(err.Text, "korvel: cannot write the export to standard output\n");
}

TEST(KorvelShow, ControlCharactersAreShownEscaped) {
  const struct {
    std::string Text, Shown;
  } cases[] = {
      {"plain text", "plain text"},
      {"a\tb\nc\rd", "a\\tb\\nc\\rd"},
      {"back\\slash", "back\\\\slash"},
      {"\x1b[2J\x07", "\\x1B[2J\\x07"},
      {std::string("\0\x1f\x7f", 3), "\\x00\\x1F\\x7F"},
      {"\x9b"
       "31m\x80\x9f",
       "\\x9B31m\\x80\\x9F"},  // C1 controls as single bytes
      {"\xc2\x9b"
       "31m",
       "\\xC2\\x9B31m"},                                                 // and as UTF-8
      {"\xc3\xa4\xe2\x82\xac\xa0\xff", "\xc3\xa4\xe2\x82\xac\xa0\xff"},  // letters stay
  };
  for (const auto& c : cases) EXPECT_EQ(cli::Escaped(c.Text), c.Shown);

  auto store = std::make_shared<test::TMemoryStore>();
  ASSERT_EQ(
      RunOn(store, {"add", "a\tb", "--type", "md5", "--prompt", "\x1b]0;x\x07"}, "p\x1b\n").Status,
      0);
  EXPECT_EQ(RunOn(store, {"list"}).Out, "0\ta\\tb\tMD5\t\\x1B]0;x\\x07\n");
  EXPECT_EQ(RunOn(store, {"show", "a\tb", "--reveal"}).Out,
            "Tag:       a\\tb\nPrompt:    \\x1B]0;x\\x07\nType:      MD5\n"
            "Reply:     (the bare reply)\nTrigger:   (the built-in ones only)\n"
            "Password:  p\\x1B\n");
}

INSTANTIATE_TEST_SUITE_P(Backends, Korvel, ::testing::ValuesIn(StoreKinds()),
                         [](const auto& info) { return info.param.Name; });

}  // namespace
}  // namespace korvel
