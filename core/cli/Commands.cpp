// korvel's commands over the store, and the entry that runs one of them.
#include <optional>

#include "CharClass.h"
#include "CommandLine.h"
#include "FileIO.h"
#include "FileStore.h"
#include "ImportFile.h"
#include "Session.h"
#include "Wipe.h"

namespace korvel::cli {
namespace {

int Reply(const TArguments& a, TStoreAccess& store, TConsole& io) {
  Allow(a, {"--copy"});
  TZORVAModule module(nullptr);
  store.Load(*module.ClientPasswords);
  bool copy = a.Flags.count("--copy") > 0;
  auto answer = [&](const std::string& text, std::string& reply) {
    char buffer[256] = "";
    const bool found = module.AutoReply(text.c_str(), buffer, 255);
    if (found) reply = buffer;
    Wipe(buffer, sizeof buffer);
    return found;
  };
  std::string reply;
  if (!a.Positional.empty()) {
    std::string text;
    for (const auto& part : a.Positional) text += (text.empty() ? "" : " ") + part;
    if (!answer(text, reply)) {
      io.Err << "No password found!\n";
      return 1;
    }
    io.Out << reply << '\n';
    io.Out.Flush();
    const bool copied = !copy || io.CopyToClipboard(reply, io.Err);
    Wipe(reply);
    return copied ? 0 : 1;
  }
  int status = 0;
  for (std::string line; io.In.ReadLine(line);) {
    if (answer(line, reply) && copy && !io.CopyToClipboard(reply, io.Err)) status = 1;
    io.Out << reply << '\n';  // an empty line keeps answers in step
    io.Out.Flush();
    Wipe(reply);
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
         << "Trigger:   " << (r.Trigger.empty() ? "(the built-in ones only)" : Escaped(r.Trigger))
         << '\n'
         << "Password:  "
         << (a.Flags.count("--reveal") ? Escaped(r.String) : "(hidden: --reveal shows it)") << '\n';
  return 0;
}

std::string AskPassword(TConsole& io) {
  std::string password;
  if (!io.ReadPassword(io.In, io.Err, password)) throw TFailure{"no password was given"};
  if (password.size() > kStoreLimit) {
    Wipe(password);
    throw TFailure{"the password is longer than the store's 255 characters"};
  }
  // A node compares bytes, and the bytes of a character beyond ASCII are
  // those of the character set it was typed in: on Windows the ANSI code
  // page (1252 in Western Europe, 65001 with "Use Unicode UTF-8"), elsewhere
  // mostly UTF-8. The password is stored as typed; the operator is told.
  for (char c : password)
    if (static_cast<unsigned char>(c) >= 0x80) {
      io.Err << "korvel: note: the password holds characters beyond ASCII; a node compares "
                "bytes, and their bytes depend on the character set they were typed in (on "
                "Windows the ANSI code page): check that the node accepts a reply\n";
      break;
    }
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
  if (auto it = a.Values.find("--trigger"); it != a.Values.end()) {
    CheckLength(it->second, "the trigger");
    if (std::string why = TriggerProblem(it->second); !why.empty())
      throw TUsageError{"--trigger " + why};
    r.Trigger = it->second;
  }
}

// The password is asked for while nothing is locked: a prompt may wait for
// minutes, and every other writer of the store would wait with it. The
// arguments are checked first, and again under the lock.
int Add(const TArguments& a, TStoreAccess& store, TConsole& io) {
  Allow(a, {"--type", "--prompt", "--matrix-len", "--reply-line", "--trigger"});
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
  Allow(a, {"--type", "--prompt", "--matrix-len", "--reply-line", "--trigger", "--password"});
  Positionals(a, 1, 1, "one TAG");
  const bool newPassword = a.Flags.count("--password") > 0;
  std::string password;
  TWipeAtEnd wipe(password);
  if (newPassword) {
    TClientPasswordList records;
    store.Load(records);
    TClientPassword check = records.At(FindTag(records, a.Positional[0]));
    ApplyOptions(a, check);
    password = AskPassword(io);
  }
  Edit(store, [&](TClientPasswordList& records) {
    TClientPassword& r = records.At(FindTag(records, a.Positional[0]));
    ApplyOptions(a, r);
    if (newPassword) r.String = password;
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

std::string ClientPasswords(int count) {
  return std::to_string(count) + (count == 1 ? " client password" : " client passwords");
}

int Import(const TArguments& a, TStoreAccess& store, TConsole& io) {
  Allow(a, {"--yes"});
  Positionals(a, 1, 1, "one FILE");
  const std::string& path = a.Positional[0];
  TStoredPasswords file = ReadImport(path);
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

}  // namespace

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
    const char* help = CommandHelp(a.Command);
    if (!help) throw TUsageError{"unknown command '" + a.Command + "' (korvel --help lists them)"};
    if (a.Flags.count("--help")) {
      io.Out << help;
      return 0;
    }
    if (auto path = a.Values.find("--store"); path != a.Values.end()) {
      if (path->second.empty()) throw TUsageError{"--store needs the path of a store file"};
      store = std::make_shared<TFileStore>(path->second);
    }
    if (!store) throw TFailure{"no place for the store was found (set KORVEL_STORE or HOME)"};
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
