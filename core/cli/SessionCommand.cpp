// korvel session: the command's options and the records it answers with;
// the terminal itself is the platform's (TConsole::RunSession).
#include "CommandLine.h"
#include "Session.h"

namespace korvel::cli {

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

}  // namespace korvel::cli
