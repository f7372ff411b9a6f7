#include "Korvel.h"

#include <cstdio>
#include <map>
#include <optional>

#include "CharClass.h"
#include "Decimal.h"
#include "FileIO.h"
#include "FileStore.h"
#include "Session.h"
#include "ZORVAModule.h"

namespace korvel::cli {
namespace {

constexpr char kVersion[] = "korvel 3.0";
constexpr std::size_t kStoreLimit = 255;

const char kUsage[] =
    "usage: korvel [--store PATH] COMMAND [ARGUMENTS]\n"
    "\n"
    "Answers the password challenges of packet-radio nodes and mailboxes from\n"
    "the client passwords that the Korvel library keeps.\n"
    "\n"
    "commands:\n"
    "  reply [TEXT] [--copy]   answer a received line (without TEXT: each line of stdin)\n"
    "  list                    the client passwords: position, TAG, type, prompt\n"
    "  show TAG [--reveal]     one client password (its password only with --reveal)\n"
    "  add TAG --type TYPE --prompt TEXT [--matrix-len N] [--reply-line TEMPLATE]\n"
    "                          a new client password; the password is asked for\n"
    "  set TAG [--type TYPE] [--prompt TEXT] [--matrix-len N] [--reply-line TEMPLATE]\n"
    "          [--password]\n"
    "                          change a client password (--password asks for a new one)\n"
    "  rename OLD NEW          give a client password another TAG\n"
    "  delete TAG              remove a client password\n"
    "  export [FILE]           the client passwords as a REGEDIT4 file (default: stdout)\n"
    "  import FILE [--yes]     replace the client passwords by those of an export file\n"
    "  where                   where the client passwords are kept, and whose they are\n"
    "  session [--auto] [--key KEY] [--log FILE] -- COMMAND [ARGS]\n"
    "                          run COMMAND (telnet, axcall, ssh ...) in this terminal\n"
    "                          and offer the reply to each challenge it receives (Linux)\n"
    "\n"
    "TYPE: matrix (positions from 1), matrix0 (positions from 0), md2, md5,\n"
    "nos-md5, itanet, flexnet or flexnet-digits. --store PATH uses the store file\n"
    "PATH instead of the library's store. korvel COMMAND --help tells more.\n";

const std::map<std::string, std::string> kCommandHelp = {
    {"reply",
     "usage: korvel reply [TEXT] [--copy]\n"
     "Answers TEXT as KOR's Enter does and prints the reply. Without TEXT each line\n"
     "of standard input is answered on a line of its own (an empty line when there\n"
     "is no answer). --copy also puts the reply on the clipboard. Exit 1 and\n"
     "\"No password found!\" when TEXT gets no reply.\n"
     "The client passwords whose prompts occur in TEXT are tried in list order, so\n"
     "one prompt may be stored for several types (a node's matrix and MD5 logins):\n"
     "the first that answers replies, but a matrix only when a number follows its\n"
     "prompt or no later one answers.\n"},
    {"list",
     "usage: korvel list\n"
     "The client passwords in list order: position, TAG, type, prompt. The type is\n"
     "shown as the store keeps it: M and the matrix length (matrix), 0M and the\n"
     "length (matrix0), MD2, MD5, NOSMD5 (nos-md5), ITANET, FLEXNET or SYDIGITS\n"
     "(flexnet-digits). Control characters in TAGs and prompts are shown escaped:\n"
     "\\t, \\n, \\r, \\xNN (also for 0x80-0x9F), and a backslash as \\\\.\n"},
    {"show",
     "usage: korvel show TAG [--reveal]\n"
     "One client password; --reveal also prints its password. Control characters\n"
     "are shown escaped as list shows them.\n"},
    {"add",
     "usage: korvel add TAG --type TYPE --prompt TEXT [--matrix-len N]\n"
     "                  [--reply-line TEMPLATE]\n"
     "Adds a client password. The password is read from the terminal without echo,\n"
     "or as one line of standard input. TYPE matrix and matrix0 need --matrix-len\n"
     "(1 to 99). --reply-line is the line korvel session types for the reply, %s\n"
     "standing for the reply and %% for a percent sign: \"PASSWORD %s\" for BPQ,\n"
     "\"@ %s\" for XRouter; without it the bare reply is typed. The types:\n"
     "  matrix          NET/ROM matrix, positions counted from 1 (BPQ, TheNetNode,\n"
     "                  OpenBCM, FBB, axspawn, URONode); the password is the template\n"
     "  matrix0         the matrix with positions counted from 0 (DXSpider, XRouter);\n"
     "                  an empty prompt answers a bare line of numbers\n"
     "  md2, md5        hex digest of the challenge and the password; md5 takes the\n"
     "                  challenge in <...>, else in [...]; md2 in [...], else in <...>\n"
     "  nos-md5         JNOS: MD5 of the hexadecimal number in [...] as four bytes,\n"
     "                  least significant first, and the password\n"
     "  itanet, flexnet weighted sums of the five numbers after the prompt\n"
     "  flexnet-digits  FlexNet SY: the password is a five-digit code; the reply is\n"
     "                  the sum of each digit of the five-digit challenge times the\n"
     "                  code's digit at the same place\n"},
    {"set",
     "usage: korvel set TAG [--type TYPE] [--prompt TEXT] [--matrix-len N]\n"
     "                  [--reply-line TEMPLATE] [--password]\n"
     "Changes a client password; --password reads a new password as add does.\n"
     "--reply-line \"\" goes back to typing the bare reply.\n"},
    {"session",
     "usage: korvel session [--auto] [--key KEY] [--log FILE] -- COMMAND [ARGS...]\n"
     "Runs COMMAND (telnet, axcall, call, nc, ssh ...) in a pseudo-terminal inside\n"
     "this terminal and passes everything through both ways. Each line it receives\n"
     "(a prompt without a line end once nothing more comes for a moment) goes\n"
     "through the automatic reply of korvel reply. When a line gets a reply, a\n"
     "status line names the client password's TAG (never the reply), and KEY\n"
     "(default Ctrl-G) types the reply into the connection, in the record's\n"
     "--reply-line, followed by CR. While nothing is offered KEY passes through.\n"
     "An offer lapses after 60 seconds or when the next challenge arrives.\n"
     "  --auto      type the reply without KEY, but only when you typed into the\n"
     "              connection within the last 30 seconds, and once per line\n"
     "  --key KEY   ^X, ctrl-x or a single character (not Ctrl-], telnet's escape)\n"
     "  --log FILE  append the received text to FILE (never what korvel typed)\n"
     "  --quiet-ms N  a partial line counts after N ms without text (default 400)\n"
     "  --offer-ms N  an offer lapses after N ms (default 60000)\n"
     "The exit status is COMMAND's. Standard input must be a terminal; the list of\n"
     "client passwords is read once, when the session starts. Linux and other\n"
     "POSIX systems only.\n"},
    {"rename",
     "usage: korvel rename OLD NEW\nRefuses a TAG already in the list, whatever its letter "
     "case.\n"},
    {"delete", "usage: korvel delete TAG\n"},
    {"export",
     "usage: korvel export [FILE]\n"
     "Writes the client passwords as a REGEDIT4 file, to FILE or stdout. FILE is\n"
     "replaced whole once the new export is complete, readable by its owner only.\n"},
    {"import",
     "usage: korvel import FILE [--yes]\n"
     "Replaces the client passwords by those of FILE: REGEDIT4, or the UTF-16\n"
     "\"Windows Registry Editor Version 5.00\" files of reg export. Nothing changes\n"
     "unless the whole file reads cleanly and every record is complete. On a\n"
     "terminal it asks first; --yes does not ask.\n"},
    {"where",
     "usage: korvel where\n"
     "Tells where the client passwords are kept and whose list it is. On Windows\n"
     "that is the list of every user of the computer, or, for an account that may\n"
     "not change it, a copy of the account's own made by its first change.\n"},
};

struct TUsageError {
  std::string Message;
};
struct TFailure {
  std::string Message;
};

bool SameTag(const std::string& a, const std::string& b) { return EqualNoCase(a, b); }

struct TArguments {
  std::string Command;
  std::vector<std::string> Positional;
  std::map<std::string, std::string> Values;  // --type, --prompt, --matrix-len, --store
  std::map<std::string, bool> Flags;  // --copy, --reveal, --password, --yes, --help, --version
};

TArguments Parse(const std::vector<std::string>& args) {
  static const std::map<std::string, bool> kOptions = {
      {"--store", true},      {"--type", true},  {"--prompt", true},  {"--matrix-len", true},
      {"--reply-line", true}, {"--key", true},   {"--log", true},     {"--quiet-ms", true},
      {"--offer-ms", true},   {"--copy", false}, {"--reveal", false}, {"--password", false},
      {"--yes", false},       {"--auto", false}, {"--help", false},   {"--version", false}};
  TArguments parsed;
  bool optionsEnd = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (!optionsEnd && arg == "--") {
      optionsEnd = true;
      continue;
    }
    if (!optionsEnd && arg.size() > 1 && arg[0] == '-' && arg != "-") {
      std::string name = arg, value;
      bool inlineValue = false;
      if (auto eq = arg.find('='); eq != std::string::npos) {
        name = arg.substr(0, eq);
        value = arg.substr(eq + 1);
        inlineValue = true;
      }
      if (name == "-h") name = "--help";
      auto option = kOptions.find(name);
      if (option == kOptions.end())
        throw TUsageError{"unknown option " + name + " (korvel --help lists them)"};
      if (option->second) {
        if (!inlineValue) {
          if (i + 1 >= args.size()) throw TUsageError{name + " needs a value"};
          value = args[++i];
        }
        parsed.Values[name] = value;
      } else {
        if (inlineValue) throw TUsageError{name + " takes no value"};
        parsed.Flags[name] = true;
      }
      continue;
    }
    if (parsed.Command.empty())
      parsed.Command = arg;
    else
      parsed.Positional.push_back(arg);
  }
  return parsed;
}

void Allow(const TArguments& a, std::initializer_list<const char*> allowed) {
  auto permitted = [&](const std::string& name) {
    if (name == "--store" || name == "--help") return true;
    for (const char* ok : allowed)
      if (name == ok) return true;
    return false;
  };
  for (const auto& [name, value] : a.Values)
    if (!permitted(name)) throw TUsageError{name + " does not go with " + a.Command};
  for (const auto& [name, value] : a.Flags)
    if (!permitted(name)) throw TUsageError{name + " does not go with " + a.Command};
}

void Positionals(const TArguments& a, std::size_t min, std::size_t max, const char* what) {
  if (a.Positional.size() < min || a.Positional.size() > max)
    throw TUsageError{a.Command + " takes " + what};
}

int ParseType(const std::string& text) {
  static const std::pair<const char*, int> kTypes[] = {{"matrix", kNetromMatrix},
                                                       {"matrix0", kMatrix0},
                                                       {"md2", kMD2},
                                                       {"md5", kMD5},
                                                       {"nos-md5", kNosMD5},
                                                       {"itanet", kItanet},
                                                       {"flexnet", kFlexnet},
                                                       {"flexnet-digits", kFlexnetDigits}};
  for (const auto& [name, type] : kTypes)
    if (EqualNoCase(text, name)) return type;
  throw TUsageError{"unknown type '" + text +
                    "' (matrix, matrix0, md2, md5, nos-md5, itanet, flexnet or flexnet-digits)"};
}

bool IsMatrix(int type) { return type == kNetromMatrix || type == kMatrix0; }

// A matrix length is one or two decimal digits, 1 to 99.
bool ValidMatrixLen(const std::string& text) {
  const TDecimal number = ReadDecimal(text);
  return number.Digits == text.size() && text.size() <= 2 && number.Value != 0;  // "" reads 0
}

std::string ParseMatrixLen(const std::string& text) {
  if (!ValidMatrixLen(text))
    throw TUsageError{"--matrix-len must be a number from 1 to 99, not '" + text + "'"};
  return text;
}

void CheckLength(const std::string& text, const char* what) {
  if (text.size() > kStoreLimit)
    throw TFailure{std::string(what) + " is longer than the store's 255 characters"};
}

// The record with this TAG: the exact one, else one equal but for letter case.
int FindTag(const TClientPasswordList& records, const std::string& tag) {
  int found = records.FirstThat([&](const TClientPassword& r) { return r.Tag == tag; });
  if (found < 0)
    found = records.FirstThat([&](const TClientPassword& r) { return SameTag(r.Tag, tag); });
  if (found < 0) throw TFailure{"no client password has the TAG '" + Escaped(tag) + "'"};
  return found;
}

bool HasTag(const TClientPasswordList& records, const std::string& tag) {
  return records.FirstThat([&](const TClientPassword& r) { return SameTag(r.Tag, tag); }) >= 0;
}

// The store for one command. A store that exists but cannot be read stops
// every command; the note about a damaged store's skipped lines is shown
// once, however often the command reads the store.
class TStoreAccess {
 public:
  TStoreAccess(TPasswordStore& store, TConsole& io) : Store(store), Io(io) {}

  TStoredPasswords Load() {
    TStoredPasswords stored;
    std::string problem;
    if (!Store.Load(stored, problem))
      throw TFailure{problem.empty() ? "the store cannot be read" : problem};
    Note(problem);
    return stored;
  }
  void Load(TClientPasswordList& records) { records.Assign(Load().Records); }
  std::string Where() { return Store.Where(); }

  // Saves the list, all or nothing. With `expected`, only while the store
  // still holds it: false when another program changed it meanwhile.
  bool Save(const TStoredPasswords& next, const TStoredPasswords* expected = nullptr) {
    std::string problem;
    int failed = Store.Save(next, expected, problem);
    if (failed == kAllWritten) return true;
    if (failed == kStoreChanged) return false;
    if (failed >= 0)
      throw TFailure{"client password " + std::to_string(failed) + " ('" +
                     Escaped(next.Records[static_cast<std::size_t>(failed)].Tag) +
                     "') could not be written to the store; nothing was changed"};
    throw TFailure{"the store was not changed: " +
                   (problem.empty() ? std::string("it cannot be written") : problem)};
  }

 private:
  void Note(const std::string& note) {
    if (note.empty() || NoteShown) return;
    Io.Err << "korvel: " << note << '\n';
    NoteShown = true;
  }
  TPasswordStore& Store;
  TConsole& Io;
  bool NoteShown = false;
};

// A load-modify-save cycle: the change is made to the list as loaded and
// saved only while the store still holds that list, so that an edit another
// program saved meanwhile is never lost; then the cycle starts again.
template <typename F>
void Edit(TStoreAccess& store, F&& change) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    TStoredPasswords loaded = store.Load();
    TClientPasswordList records;
    records.Assign(loaded.Records);
    change(records);
    TStoredPasswords next{loaded.Versions, true, records.Snapshot()};
    if (store.Save(next, &loaded)) return;
  }
  throw TFailure{"other programs kept changing the store; nothing was changed"};
}

int Reply(const TArguments& a, TStoreAccess& store, TConsole& io) {
  Allow(a, {"--copy"});
  TZORVAModule module(nullptr);
  store.Load(*module.ClientPasswords);
  bool copy = a.Flags.count("--copy") > 0;
  auto answer = [&](const std::string& text, std::string& reply) {
    char buffer[256] = "";
    if (!module.AutoReply(text.c_str(), buffer, 255)) return false;
    reply = buffer;
    return true;
  };
  if (!a.Positional.empty()) {
    std::string text;
    for (const auto& part : a.Positional) text += (text.empty() ? "" : " ") + part;
    std::string reply;
    if (!answer(text, reply)) {
      io.Err << "No password found!\n";
      return 1;
    }
    io.Out << reply << '\n';
    io.Out.Flush();
    if (copy && !io.CopyToClipboard(reply, io.Err)) return 1;
    return 0;
  }
  int status = 0;
  for (std::string line; io.In.ReadLine(line);) {
    std::string reply;
    if (answer(line, reply) && copy && !io.CopyToClipboard(reply, io.Err)) status = 1;
    io.Out << reply << '\n';  // an empty line keeps answers in step
    io.Out.Flush();
  }
  return status;
}

int List(const TArguments& a, TStoreAccess& store, TConsole& io) {
  Allow(a, {});
  Positionals(a, 0, 0, "no arguments");
  TClientPasswordList records;
  store.Load(records);
  for (int i = 0; i < records.Count(); ++i) {
    const TClientPassword& r = records.At(i);
    io.Out << i << '\t' << Escaped(r.Tag) << '\t' << TypeText(r) << '\t' << Escaped(r.Challenge)
           << '\n';
  }
  return 0;
}

int Where(const TArguments& a, TStoreAccess& store, TConsole& io) {
  Allow(a, {});
  Positionals(a, 0, 0, "no arguments");
  io.Out << store.Where();
  return 0;
}

int Show(const TArguments& a, TStoreAccess& store, TConsole& io) {
  Allow(a, {"--reveal"});
  Positionals(a, 1, 1, "one TAG");
  TClientPasswordList records;
  store.Load(records);
  const TClientPassword& r = records.At(FindTag(records, a.Positional[0]));
  io.Out << "Tag:       " << Escaped(r.Tag) << '\n'
         << "Prompt:    " << Escaped(r.Challenge) << '\n'
         << "Type:      " << TypeText(r) << '\n'
         << "Reply:     " << (r.ReplyLine.empty() ? "(the bare reply)" : Escaped(r.ReplyLine))
         << '\n'
         << "Password:  "
         << (a.Flags.count("--reveal") ? Escaped(r.String) : "(hidden: --reveal shows it)") << '\n';
  return 0;
}

std::string AskPassword(TConsole& io) {
  std::string password;
  if (!io.ReadPassword(io.In, io.Err, password)) throw TFailure{"no password was given"};
  CheckLength(password, "the password");
  return password;
}

void ApplyOptions(const TArguments& a, TClientPassword& r) {
  if (auto it = a.Values.find("--type"); it != a.Values.end()) {
    r.Type = ParseType(it->second);
    if (!IsMatrix(r.Type)) r.MatrixLen.clear();
  }
  if (auto it = a.Values.find("--matrix-len"); it != a.Values.end()) {
    if (!IsMatrix(r.Type))
      throw TUsageError{"--matrix-len goes only with the types matrix and matrix0"};
    r.MatrixLen = ParseMatrixLen(it->second);
  }
  if (IsMatrix(r.Type) && r.MatrixLen.empty())
    throw TUsageError{std::string("the type ") + (r.Type == kMatrix0 ? "matrix0" : "matrix") +
                      " needs --matrix-len"};
  if (auto it = a.Values.find("--prompt"); it != a.Values.end()) {
    CheckLength(it->second, "the prompt");
    r.Challenge = it->second;
  }
  if (auto it = a.Values.find("--reply-line"); it != a.Values.end()) {
    CheckLength(it->second, "the reply line");
    if (std::string why = ReplyLineProblem(it->second); !why.empty())
      throw TUsageError{"--reply-line " + why};
    r.ReplyLine = it->second;
  }
}

// The password is asked for while nothing is locked: a prompt may wait for
// minutes, and every other writer of the store would wait with it. The
// arguments are checked first, and again under the lock.
int Add(const TArguments& a, TStoreAccess& store, TConsole& io) {
  Allow(a, {"--type", "--prompt", "--matrix-len", "--reply-line"});
  Positionals(a, 1, 1, "one TAG");
  if (!a.Values.count("--type")) throw TUsageError{"add needs --type"};
  if (!a.Values.count("--prompt")) throw TUsageError{"add needs --prompt"};
  auto record = std::make_unique<TClientPassword>(a.Positional[0]);
  CheckLength(record->Tag, "the TAG");
  ApplyOptions(a, *record);
  const std::string taken = "the TAG '" + Escaped(record->Tag) + "' is already in the list";
  {
    TClientPasswordList records;
    store.Load(records);
    if (HasTag(records, record->Tag)) throw TFailure{taken};
  }
  record->String = AskPassword(io);
  Edit(store, [&](TClientPasswordList& records) {
    if (HasTag(records, record->Tag)) throw TFailure{taken};
    records.Add(std::make_unique<TClientPassword>(*record));
  });
  return 0;
}

int Set(const TArguments& a, TStoreAccess& store, TConsole& io) {
  Allow(a, {"--type", "--prompt", "--matrix-len", "--reply-line", "--password"});
  Positionals(a, 1, 1, "one TAG");
  std::optional<std::string> password;
  if (a.Flags.count("--password")) {
    TClientPasswordList records;
    store.Load(records);
    TClientPassword check = records.At(FindTag(records, a.Positional[0]));
    ApplyOptions(a, check);
    password = AskPassword(io);
  }
  Edit(store, [&](TClientPasswordList& records) {
    TClientPassword& r = records.At(FindTag(records, a.Positional[0]));
    ApplyOptions(a, r);
    if (password) r.String = *password;
  });
  return 0;
}

int Rename(const TArguments& a, TStoreAccess& store, TConsole&) {
  Allow(a, {});
  Positionals(a, 2, 2, "OLD and NEW");
  const std::string& name = a.Positional[1];
  CheckLength(name, "the new TAG");
  Edit(store, [&](TClientPasswordList& records) {
    int at = FindTag(records, a.Positional[0]);
    if (HasTag(records, name))
      throw TFailure{"the TAG '" + Escaped(name) + "' is already in the list"};
    records.At(at).Tag = name;
  });
  return 0;
}

int Delete(const TArguments& a, TStoreAccess& store, TConsole&) {
  Allow(a, {});
  Positionals(a, 1, 1, "one TAG");
  Edit(store, [&](TClientPasswordList& records) {
    records.Detach(FindTag(records, a.Positional[0]), true);
  });
  return 0;
}

// An export names its number of records ("Count" in the list's key, a value
// the library ignores), so that import can tell a file cut at a record's end
// from a whole one.
constexpr char kCountValue[] = "Count";

// The list as the library loads it (a save that did not finish shows its
// complete copy), written out in the store's own layout.
std::string ExportText(TStoreAccess& store) {
  TRegNode root;
  WritePasswords(root, store.Load());
  TRegNode* list =
      root.Find(std::string("HKEY_LOCAL_MACHINE\\") + kZorvaKeyPath + "\\" + kClientPasswordsKey);
  if (!list || !list->SetDword(kCountValue, static_cast<uint32_t>(list->Keys.size())))
    throw TFailure{"the export could not be made"};
  return WriteRegFile(root);
}

int Export(const TArguments& a, TStoreAccess& store, TConsole& io) {
  Allow(a, {});
  Positionals(a, 0, 1, "at most one FILE");
  std::string text = ExportText(store);
  if (a.Positional.empty() || a.Positional[0] == "-") {
    io.Out << text;
    if (!io.Out.Flush()) throw TFailure{"cannot write the export to standard output"};
    return 0;
  }
  const std::string& path = a.Positional[0];
  std::string problem;
  if (fileio::IsSpecialFile(path)) {  // a device or a pipe: written as it is
    if (!fileio::WriteSpecialFile(path, text, &problem))
      throw TFailure{problem + "; the export is incomplete"};
    return 0;
  }
  // The previous export stays until the new one is whole; it holds
  // passwords, so only its owner may read it.
  if (!fileio::ReplaceWholeFile(fileio::ResolvePath(path), text, fileio::TNewFileMode::OwnerOnly,
                                &problem))
    throw TFailure{"cannot write " + path + (problem.empty() ? "" : " (" + problem + ")") +
                   "; it is left as it was"};
  return 0;
}

// The client passwords of an import file, each record complete and as the
// store keeps it; anything else refuses the whole file.
using TImport = TStoredPasswords;

// Whether the file ends with a line end, and its number of lines.
bool LastLineComplete(const std::string& bytes, int& lines) {
  bool utf16 = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
  std::size_t step = utf16 ? 2 : 1;
  lines = 1;
  for (std::size_t i = 0; i + step <= bytes.size(); i += step)
    if (bytes[i] == '\n' && (!utf16 || bytes[i + 1] == '\0')) ++lines;
  if (utf16)
    return bytes.size() % 2 == 0 && bytes.size() >= 4 && bytes[bytes.size() - 2] == '\n' &&
           bytes.back() == '\0';
  return !bytes.empty() && bytes.back() == '\n';
}

// Far more than any list of client passwords takes (3000 records of 255
// characters a text are some 4 MB in UTF-16).
constexpr std::size_t kImportLimit = 32u << 20;

// A record's text as the store would keep it whole; `what` names it.
std::string ImportText(const TRegValue& v, const std::string& what) {
  if (v.Type != kRegSz) throw TFailure{what + "is not a text"};
  std::string text = v.Data;
  if (!text.empty() && text.back() == '\0') text.pop_back();  // the registry's terminator
  if (text.find('\0') != std::string::npos) throw TFailure{what + "holds a zero byte"};
  if (text.size() > kStoreLimit) throw TFailure{what + "is longer than the store's 255 characters"};
  return text;
}

TImport ReadImport(const std::string& path) {
  std::string bytes, why;
  if (fileio::ReadWholeFile(fileio::ResolvePath(path), bytes, &why, kImportLimit) !=
      fileio::TReadStatus::Read)
    throw TFailure{"cannot read " + path + (why.empty() ? "" : " (" + why + ")")};
  TRegParseResult parsed = ParseRegFile(bytes);
  if (!parsed.Errors.empty()) {
    const TRegParseError& e = parsed.Errors.front();
    throw TFailure{path + ", line " + std::to_string(e.Line) + ": " + e.Message};
  }
  int lines = 0;
  if (!LastLineComplete(bytes, lines))
    throw TFailure{path + ", line " + std::to_string(lines) +
                   ": the line has no line end (the file is cut short)"};
  const TRegNode* machine = parsed.Root->Find("HKEY_LOCAL_MACHINE");
  const TRegNode* current = machine ? machine->Find(kZorvaKeyPath) : nullptr;
  const std::string currentKey = std::string("[HKEY_LOCAL_MACHINE\\") + kZorvaKeyPath;
  if (!current) throw TFailure{path + " holds no client passwords (no " + currentKey + "] key)"};
  const TRegNode* list = current->Find(kClientPasswordsKey);
  if (!list)
    throw TFailure{path + " holds no client passwords (no " + currentKey + "\\" +
                   kClientPasswordsKey + "] key)"};
  // Exports never hold the copy a registry save keeps while it runs; a file
  // that does is a raw copy of a store whose last save did not finish.
  if (current->Find(kSavingCopyKey))
    throw TFailure{path + " holds a save that did not finish (" + kSavingCopyKey +
                   "); export the store with korvel and import that"};
  const std::size_t count = list->Keys.size();
  // An empty list is also what a file cut just after the list's key line
  // holds: only a file that says so empties the store.
  if (count == 0 && !list->Value(kCountValue))
    throw TFailure{path +
                   " holds no client passwords (a file that empties the list says "
                   "\"Count\"=dword:00000000)"};
  if (list->Value(kCountValue)) {
    auto said = list->Dword(kCountValue);
    if (!said) throw TFailure{path + ": \"Count\" is not a dword"};
    if (*said != count)
      throw TFailure{path + " is incomplete: it holds " + std::to_string(count) + " of the " +
                     std::to_string(*said) + " client passwords it was written with"};
  }
  std::vector<std::string> tags;
  for (const auto& [name, record] : list->Keys) {
    const std::string where = path + ": client password " + name;
    std::map<std::string, std::string> texts;
    for (const char* value : kRecordValues) {
      const TRegValue* v = record->Value(value);
      if (!v) throw TFailure{where + " has no \"" + value + "\" (the record is incomplete)"};
      texts[value] = ImportText(*v, where + ": \"" + value + "\" ");
    }
    if (const TRegValue* v = record->Value(kReplyLineValue))  // optional
      ImportText(*v, where + ": \"" + kReplyLineValue + "\" ");
    TClientPassword typed;
    ApplyTypeText(texts["Type"], typed);
    if (IsMatrix(typed.Type) && !ValidMatrixLen(typed.MatrixLen))
      throw TFailure{where + ": the matrix length '" + Escaped(typed.MatrixLen) +
                     "' is not a number from 1 to 99"};
    for (const std::string& tag : tags)
      if (SameTag(tag, texts["Tag"]))
        throw TFailure{where + ": the TAG '" + Escaped(texts["Tag"]) + "' is already in the list"};
    tags.push_back(texts["Tag"]);
  }
  TImport result;
  ReadPasswords(*parsed.Root, result);
  if (result.Records.size() != count) throw TFailure{path + ": a client password cannot be read"};
  return result;
}

std::string ClientPasswords(int count) {
  return std::to_string(count) + (count == 1 ? " client password" : " client passwords");
}

int Import(const TArguments& a, TStoreAccess& store, TConsole& io) {
  Allow(a, {"--yes"});
  Positionals(a, 1, 1, "one FILE");
  const std::string& path = a.Positional[0];
  TImport file = ReadImport(path);
  // A store that cannot be read is never replaced, not even by a whole list.
  TClientPasswordList records;
  store.Load(records);
  if (io.IsTerminal && !a.Flags.count("--yes")) {
    std::string question = "Replace the " + ClientPasswords(records.Count()) +
                           " in the store by the " + std::to_string(file.Records.size()) + " of " +
                           path + "?";
    if (!io.Confirm(io.In, io.Err, question)) throw TFailure{"nothing was imported"};
  }
  store.Save(file);
  return 0;
}

int64_t ParseMilliseconds(const TArguments& a, const char* name, int64_t fallback) {
  auto it = a.Values.find(name);
  if (it == a.Values.end()) return fallback;
  const TDecimal number = ReadDecimal(it->second);
  if (it->second.empty() || number.Digits != it->second.size() || it->second.size() > 9 ||
      number.Value == 0)
    throw TUsageError{std::string(name) + " must be a number of milliseconds from 1 to 999999999"};
  return static_cast<int64_t>(number.Value);
}

int Session(const TArguments& a, TStoreAccess& store, TConsole& io) {
  Allow(a, {"--auto", "--key", "--log", "--quiet-ms", "--offer-ms"});
  if (a.Positional.empty())
    throw TUsageError{"session needs a COMMAND: korvel session [OPTIONS] -- COMMAND [ARGS...]"};
  TSessionSettings settings;
  settings.Auto = a.Flags.count("--auto") > 0;
  if (auto it = a.Values.find("--key"); it != a.Values.end()) {
    std::optional<char> key = ParseKey(it->second);
    if (!key)
      throw TUsageError{"--key takes ^X, ctrl-x or one character, not '" + Escaped(it->second) +
                        "' (Ctrl-] stays telnet's escape)"};
    settings.Key = *key;
  }
  settings.QuietMs = ParseMilliseconds(a, "--quiet-ms", settings.QuietMs);
  settings.OfferMs = ParseMilliseconds(a, "--offer-ms", settings.OfferMs);
  std::string logPath;
  if (auto it = a.Values.find("--log"); it != a.Values.end()) {
    if (it->second.empty()) throw TUsageError{"--log needs the path of a file"};
    logPath = it->second;
  }
  if (!io.RunSession) throw TFailure{"session is not available on this system"};
  if (!io.IsTerminal)
    throw TFailure{"session needs a terminal on standard input: it runs COMMAND inside it"};
  TZORVAModule module(nullptr);
  store.Load(*module.ClientPasswords);
  // A template written by another program may not be one korvel accepts: its
  // record then gets the bare reply, and the operator is told.
  for (int i = 0; i < module.ClientPasswords->Count(); ++i) {
    TClientPassword& record = module.ClientPasswords->At(i);
    if (std::string why = ReplyLineProblem(record.ReplyLine); !why.empty()) {
      io.Err << "korvel: the reply line of " << Escaped(record.Tag) << " " << why
             << "; its bare reply is typed\n";
      record.ReplyLine.clear();
    }
  }
  io.Err.Flush();
  TSessionWatcher watcher(settings, [&](const std::string& line) -> std::optional<TSessionAnswer> {
    char buffer[256] = "";
    int matched = -1;
    if (!module.AutoReply(line.c_str(), buffer, 255, &matched) ||
        !module.ClientPasswords->Valid(matched))
      return std::nullopt;
    const TClientPassword& record = module.ClientPasswords->At(matched);
    return TSessionAnswer{Escaped(record.Tag), ExpandReplyLine(record.ReplyLine, buffer)};
  });
  return io.RunSession(a.Positional, watcher, logPath, io.Err);
}

// The length of the whole UTF-8 character at `at`, or 0 when none starts there.
std::size_t Utf8Length(const std::string& text, std::size_t at) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(at);
  std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                       : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                      : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i)
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  unsigned char second = byte(at + 1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
      (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
    return 0;  // overlong forms, surrogates, beyond U+10FFFF
  return length;
}

}  // namespace

bool AskYesNo(TInput& in, TOutput& err, const std::string& question) {
  err << question << " [y/N] ";
  err.Flush();
  std::string answer;
  if (!in.ReadLine(answer)) {
    err << '\n';
    return false;
  }
  return EqualNoCase(answer, "y") || EqualNoCase(answer, "yes");
}

namespace {

// Takes a line off `text` from `position`, without its LF or CR LF.
bool TakeLine(const std::string& text, std::size_t& position, std::string& line) {
  if (position >= text.size()) return false;
  std::size_t end = text.find('\n', position);
  std::size_t next = end == std::string::npos ? text.size() : end + 1;
  if (end == std::string::npos) end = text.size();
  line.assign(text, position, end - position);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  position = next;
  return true;
}

}  // namespace

bool TTextInput::ReadLine(std::string& line) { return TakeLine(Text, Position, line); }

bool TFileInput::ReadLine(std::string& line) {
  std::string text;
  for (int c; (c = std::getc(File)) != EOF;) {
    text += static_cast<char>(c);
    if (c == '\n') break;
  }
  std::size_t position = 0;
  return TakeLine(text, position, line);
}

void TFileOutput::Write(std::string_view text) {
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), File) != text.size()) Failed = true;
}

bool TFileOutput::Flush() {
  if (std::fflush(File) != 0 || std::ferror(File)) Failed = true;
  return !Failed;
}

// Bytes of whole UTF-8 characters stay as they are (but for the C1 controls,
// U+0080 to U+009F), so that texts in UTF-8 still read well.
std::string Escaped(const std::string& text) {
  std::string out;
  auto hex = [&](unsigned char c) {
    constexpr char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 15];
  };
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (std::size_t length = Utf8Length(text, i)) {
      if (c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
        hex(c);
        hex(static_cast<unsigned char>(text[i + 1]));
      } else {
        out.append(text, i, length);
      }
      i += length;
      continue;
    }
    if (c == '\t')
      out += "\\t";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\\')
      out += "\\\\";
    else if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F))
      hex(c);
    else
      out += static_cast<char>(c);
    ++i;
  }
  return out;
}

int Run(const std::vector<std::string>& args, std::shared_ptr<TPasswordStore> store, TConsole& io) {
  try {
    TArguments a = Parse(args);
    if (a.Flags.count("--version") && a.Command.empty()) {
      io.Out << kVersion << '\n';
      return 0;
    }
    if (a.Command.empty()) {
      if (a.Flags.count("--help")) {
        io.Out << kUsage;
        return 0;
      }
      throw TUsageError{"no command given (korvel --help lists them)"};
    }
    auto help = kCommandHelp.find(a.Command);
    if (help == kCommandHelp.end())
      throw TUsageError{"unknown command '" + a.Command + "' (korvel --help lists them)"};
    if (a.Flags.count("--help")) {
      io.Out << help->second;
      return 0;
    }
    if (auto path = a.Values.find("--store"); path != a.Values.end()) {
      if (path->second.empty()) throw TUsageError{"--store needs the path of a store file"};
      store = std::make_shared<TFileStore>(path->second);
    }
    if (!store) throw TFailure{"no place for the store was found (set KORVEL_STORE or HOME)"};
    using TCommand = int (*)(const TArguments&, TStoreAccess&, TConsole&);
    static const std::map<std::string, TCommand> kCommands = {
        {"reply", Reply},   {"list", List},     {"show", Show},      {"add", Add},
        {"set", Set},       {"rename", Rename}, {"delete", Delete},  {"export", Export},
        {"import", Import}, {"where", Where},   {"session", Session}};
    TStoreAccess access(*store, io);
    int status = kCommands.at(a.Command)(a, access, io);
    if (!io.Out.Flush()) throw TFailure{"cannot write standard output"};
    return status;
  } catch (const TUsageError& e) {
    io.Err << "korvel: " << e.Message << '\n';
    return 2;
  } catch (const TFailure& e) {
    io.Err << "korvel: " << e.Message << '\n';
    return 1;
  } catch (const std::exception& e) {
    io.Err << "korvel: " << e.what() << '\n';
    return 1;
  }
}

}  // namespace korvel::cli
