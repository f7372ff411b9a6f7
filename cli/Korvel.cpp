#include "Korvel.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>

#include "engine/ClientPasswordStore.h"
#include "engine/ZORVAModule.h"
#include "registry/RegStores.h"
#include "registry/RegTree.h"

namespace korvel::cli {
namespace {

constexpr char kVersion[] = "korvel 3.0";
constexpr std::size_t kStoreLimit = 255;
constexpr char kZorvaRoot[] = "SOFTWARE\\Calvek\\ZORVA";

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
    "  add TAG --type TYPE --prompt TEXT [--matrix-len N]\n"
    "                          a new client password; the password is asked for\n"
    "  set TAG [--type TYPE] [--prompt TEXT] [--matrix-len N] [--password]\n"
    "                          change a client password (--password asks for a new one)\n"
    "  rename OLD NEW          give a client password another TAG\n"
    "  delete TAG              remove a client password\n"
    "  export [FILE]           the client passwords as a REGEDIT4 file (default: stdout)\n"
    "  import FILE             replace the client passwords by those of an export file\n"
    "\n"
    "TYPE: matrix, md2, md5, itanet or flexnet. --store PATH uses the store file\n"
    "PATH instead of the library's store. korvel COMMAND --help tells more.\n";

const std::map<std::string, std::string> kCommandHelp = {
    {"reply",
     "usage: korvel reply [TEXT] [--copy]\n"
     "Answers TEXT as KOR's Enter does and prints the reply. Without TEXT each line\n"
     "of standard input is answered on a line of its own (an empty line when there\n"
     "is no answer). --copy also puts the reply on the clipboard. Exit 1 and\n"
     "\"No password found!\" when TEXT gets no reply.\n"},
    {"list", "usage: korvel list\nThe client passwords in list order: position, TAG, type, prompt.\n"},
    {"show", "usage: korvel show TAG [--reveal]\nOne client password; --reveal also prints its password.\n"},
    {"add",
     "usage: korvel add TAG --type TYPE --prompt TEXT [--matrix-len N]\n"
     "Adds a client password. The password is read from the terminal without echo,\n"
     "or as one line of standard input. TYPE matrix needs --matrix-len (1 to 99).\n"},
    {"set",
     "usage: korvel set TAG [--type TYPE] [--prompt TEXT] [--matrix-len N] [--password]\n"
     "Changes a client password; --password reads a new password as add does.\n"},
    {"rename",
     "usage: korvel rename OLD NEW\nRefuses a TAG already in the list, whatever its letter case.\n"},
    {"delete", "usage: korvel delete TAG\n"},
    {"export",
     "usage: korvel export [FILE]\nWrites the client passwords as a REGEDIT4 file, to FILE or stdout.\n"},
    {"import",
     "usage: korvel import FILE\n"
     "Replaces the client passwords by those of FILE: REGEDIT4, or the UTF-16\n"
     "\"Windows Registry Editor Version 5.00\" files of reg export. Nothing changes\n"
     "unless the whole file reads cleanly.\n"},
};

struct TUsageError {
  std::string Message;
};
struct TFailure {
  std::string Message;
};

bool SameTag(const std::string& a, const std::string& b) { return RegNameEqual(a, b); }

struct TArguments {
  std::string Command;
  std::vector<std::string> Positional;
  std::map<std::string, std::string> Values;  // --type, --prompt, --matrix-len, --store
  std::map<std::string, bool> Flags;          // --copy, --reveal, --password, --help, --version
};

TArguments Parse(const std::vector<std::string>& args) {
  static const std::map<std::string, bool> kOptions = {
      {"--store", true},  {"--type", true},    {"--prompt", true},   {"--matrix-len", true},
      {"--copy", false},  {"--reveal", false}, {"--password", false}, {"--help", false},
      {"--version", false}};
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
  static const std::pair<const char*, int> kTypes[] = {
      {"matrix", kNetromMatrix}, {"md2", kMD2}, {"md5", kMD5}, {"itanet", kItanet}, {"flexnet", kFlexnet}};
  for (const auto& [name, type] : kTypes)
    if (RegNameEqual(text, name)) return type;
  throw TUsageError{"unknown type '" + text + "' (matrix, md2, md5, itanet or flexnet)"};
}

std::string ParseMatrixLen(const std::string& text) {
  bool digits = !text.empty() && text.size() <= 2 &&
                text.find_first_not_of("0123456789") == std::string::npos;
  if (!digits || std::stoi(text) == 0)
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
  if (found < 0) throw TFailure{"no client password has the TAG '" + tag + "'"};
  return found;
}

// The load-modify-save cycle, whole under the store's lock.
class TEdit {
 public:
  explicit TEdit(TRegStore& store) : Session(store.Begin(TRegAccess::Write)) {
    if (!Session) throw TFailure{"the store cannot be opened for writing"};
    ReadClientPasswords(Session->LocalMachine(), Versions, Records);
  }
  int Find(const std::string& tag) const { return FindTag(Records, tag); }
  bool Exists(const std::string& tag) const {
    return Records.FirstThat([&](const TClientPassword& r) { return SameTag(r.Tag, tag); }) >= 0;
  }
  void Save() {
    if (WriteClientPasswords(Session->LocalMachine(), Versions, Records) >= 0 || !Session->Commit())
      throw TFailure{"the store could not be written; nothing was changed"};
  }
  TClientPasswordList Records;

 private:
  std::unique_ptr<TRegSession> Session;
  TZorvaVersions Versions;
};

void LoadForReading(TRegStore& store, TClientPasswordList& records) {
  auto session = store.Begin(TRegAccess::Read);
  if (!session) throw TFailure{"the store cannot be read"};
  TZorvaVersions versions;
  ReadClientPasswords(session->LocalMachine(), versions, records);
}

int Reply(const TArguments& a, TRegStore& store, TConsole& io) {
  Allow(a, {"--copy"});
  TZORVAModule module(nullptr);
  LoadForReading(store, *module.ClientPasswords);
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
    io.Out << reply << '\n' << std::flush;
    if (copy && !io.CopyToClipboard(reply, io.Err)) return 1;
    return 0;
  }
  int status = 0;
  for (std::string line; std::getline(io.In, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string reply;
    if (answer(line, reply) && copy && !io.CopyToClipboard(reply, io.Err)) status = 1;
    io.Out << reply << '\n' << std::flush;  // an empty line keeps answers in step
  }
  return status;
}

int List(const TArguments& a, TRegStore& store, TConsole& io) {
  Allow(a, {});
  Positionals(a, 0, 0, "no arguments");
  TClientPasswordList records;
  LoadForReading(store, records);
  for (int i = 0; i < records.Count(); ++i) {
    const TClientPassword& r = records.At(i);
    io.Out << i << '\t' << r.Tag << '\t' << TypeText(r) << '\t' << r.Challenge << '\n';
  }
  return 0;
}

int Show(const TArguments& a, TRegStore& store, TConsole& io) {
  Allow(a, {"--reveal"});
  Positionals(a, 1, 1, "one TAG");
  TClientPasswordList records;
  LoadForReading(store, records);
  const TClientPassword& r = records.At(FindTag(records, a.Positional[0]));
  io.Out << "Tag:       " << r.Tag << '\n'
         << "Prompt:    " << r.Challenge << '\n'
         << "Type:      " << TypeText(r) << '\n'
         << "Password:  " << (a.Flags.count("--reveal") ? r.String : "(hidden: --reveal shows it)")
         << '\n';
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
    if (r.Type != kNetromMatrix) r.MatrixLen.clear();
  }
  if (auto it = a.Values.find("--matrix-len"); it != a.Values.end()) {
    if (r.Type != kNetromMatrix) throw TUsageError{"--matrix-len goes only with the type matrix"};
    r.MatrixLen = ParseMatrixLen(it->second);
  }
  if (r.Type == kNetromMatrix && r.MatrixLen.empty())
    throw TUsageError{"the type matrix needs --matrix-len"};
  if (auto it = a.Values.find("--prompt"); it != a.Values.end()) {
    CheckLength(it->second, "the prompt");
    r.Challenge = it->second;
  }
}

int Add(const TArguments& a, TRegStore& store, TConsole& io) {
  Allow(a, {"--type", "--prompt", "--matrix-len"});
  Positionals(a, 1, 1, "one TAG");
  if (!a.Values.count("--type")) throw TUsageError{"add needs --type"};
  if (!a.Values.count("--prompt")) throw TUsageError{"add needs --prompt"};
  auto record = std::make_unique<TClientPassword>(a.Positional[0]);
  CheckLength(record->Tag, "the TAG");
  ApplyOptions(a, *record);
  TEdit edit(store);
  if (edit.Exists(record->Tag)) throw TFailure{"the TAG '" + record->Tag + "' is already in the list"};
  record->String = AskPassword(io);
  edit.Records.Add(std::move(record));
  edit.Save();
  return 0;
}

int Set(const TArguments& a, TRegStore& store, TConsole& io) {
  Allow(a, {"--type", "--prompt", "--matrix-len", "--password"});
  Positionals(a, 1, 1, "one TAG");
  TEdit edit(store);
  TClientPassword& r = edit.Records.At(edit.Find(a.Positional[0]));
  ApplyOptions(a, r);
  if (a.Flags.count("--password")) r.String = AskPassword(io);
  edit.Save();
  return 0;
}

int Rename(const TArguments& a, TRegStore& store, TConsole&) {
  Allow(a, {});
  Positionals(a, 2, 2, "OLD and NEW");
  const std::string& name = a.Positional[1];
  CheckLength(name, "the new TAG");
  TEdit edit(store);
  int at = edit.Find(a.Positional[0]);
  if (edit.Exists(name)) throw TFailure{"the TAG '" + name + "' is already in the list"};
  edit.Records.At(at).Tag = name;
  edit.Save();
  return 0;
}

int Delete(const TArguments& a, TRegStore& store, TConsole&) {
  Allow(a, {});
  Positionals(a, 1, 1, "one TAG");
  TEdit edit(store);
  edit.Records.Detach(edit.Find(a.Positional[0]), true);
  edit.Save();
  return 0;
}

// The file holds passwords: on POSIX only its owner may read it.
bool WritePrivateFile(const std::string& path, const std::string& text) {
#ifdef _WIN32
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  return static_cast<bool>(out);
#else
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  return close(fd) == 0 && ok;
#endif
}

std::string ExportText(TRegStore& store) {
  auto session = store.Begin(TRegAccess::Read);
  if (!session) throw TFailure{"the store cannot be read"};
  auto root = std::make_shared<TRegNode>();
  if (auto zorva = session->LocalMachine().Open(kZorvaRoot))
    CopyKey(*zorva, *MakeTreeKey(root)->Create(std::string("HKEY_LOCAL_MACHINE\\") + kZorvaRoot));
  return WriteRegFile(*root);
}

int Export(const TArguments& a, TRegStore& store, TConsole& io) {
  Allow(a, {});
  Positionals(a, 0, 1, "at most one FILE");
  std::string text = ExportText(store);
  if (a.Positional.empty() || a.Positional[0] == "-") {
    io.Out << text << std::flush;
    return 0;
  }
  const std::string& path = a.Positional[0];
  if (!WritePrivateFile(path, text)) throw TFailure{"cannot write " + path};
  return 0;
}

// The client passwords of an import file, checked as the store will read them.
void CheckImport(const std::string& path, TRegKey& current) {
  auto list = current.Open(kClientPasswordsKey);
  if (!list) return;
  for (uint32_t i = 0; i < list->SubKeyCount(); ++i) {
    auto name = list->SubKeyName(i);
    if (!name) break;
    auto record = list->Open(*name);
    for (const char* value : {"Tag", "Challenge", "String", "Type"}) {
      auto v = record ? record->Query(value) : std::nullopt;
      if (!v) continue;
      std::string where = path + ": client password " + *name + ": \"" + value + "\" ";
      if (v->Type != kRegSz) throw TFailure{where + "is not a text"};
      if (v->Data.substr(0, v->Data.find('\0')).size() > kStoreLimit)
        throw TFailure{where + "is longer than the store's 255 characters"};
    }
  }
}

int Import(const TArguments& a, TRegStore& store, TConsole&) {
  Allow(a, {});
  Positionals(a, 1, 1, "one FILE");
  const std::string& path = a.Positional[0];
  std::ifstream in(path, std::ios::binary);
  if (!in) throw TFailure{"cannot read " + path};
  std::ostringstream bytes;
  bytes << in.rdbuf();
  TRegParseResult parsed = ParseRegFile(bytes.str());
  if (!parsed.Errors.empty()) {
    const TRegParseError& e = parsed.Errors.front();
    throw TFailure{path + ", line " + std::to_string(e.Line) + ": " + e.Message};
  }
  auto zorva = MakeTreeKey(parsed.Root)->Open(std::string("HKEY_LOCAL_MACHINE\\") + kZorvaRoot);
  auto current = zorva ? zorva->Open("CurrentVersion") : nullptr;
  if (!current)
    throw TFailure{path + " holds no client passwords (no [HKEY_LOCAL_MACHINE\\" + kZorvaRoot +
                   "\\CurrentVersion] key)"};
  CheckImport(path, *current);
  auto session = store.Begin(TRegAccess::Write);
  if (!session) throw TFailure{"the store cannot be opened for writing"};
  TRegKey& machine = session->LocalMachine();
  auto target = machine.DeleteTree(kZorvaRoot) ? machine.Create(kZorvaRoot) : nullptr;
  if (!target) throw TFailure{"the store could not be written"};
  CopyKey(*zorva, *target);
  if (!session->Commit()) throw TFailure{"the store could not be written; nothing was changed"};
  return 0;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::shared_ptr<TRegStore> store, TConsole& io) {
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
    if (auto path = a.Values.find("--store"); path != a.Values.end())
      store = MakeFileRegStore(path->second);
    if (!store) throw TFailure{"no place for the store was found (set KORVEL_STORE or HOME)"};
    using TCommand = int (*)(const TArguments&, TRegStore&, TConsole&);
    static const std::map<std::string, TCommand> kCommands = {
        {"reply", Reply},   {"list", List},     {"show", Show},     {"add", Add},    {"set", Set},
        {"rename", Rename}, {"delete", Delete}, {"export", Export}, {"import", Import}};
    return kCommands.at(a.Command)(a, *store, io);
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
