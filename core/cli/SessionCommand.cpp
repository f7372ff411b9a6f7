// korvel session: the command's options and the records it answers with;
// the terminal itself is the platform's (TConsole::RunSession).
#include <cstdlib>

#include "CommandLine.h"
#include "Session.h"
#include "SessionPolicy.h"
#include "Wipe.h"

namespace korvel::cli {

TSessionAnswerer SessionAnswerer(TZORVAModule& module) {
  return [&module](const std::string& line, bool ended) -> std::optional<TSessionAnswer> {
    char buffer[256] = "";
    int matched = -1;
    std::optional<TSessionAnswer> answer;
    if (module.AutoReply(line.c_str(), buffer, 255, &matched) &&
        module.ClientPasswords->Valid(matched)) {
      const TClientPassword& record = module.ClientPasswords->At(matched);
      // The reply goes straight into the answer; every copy on the way is wiped.
      answer.emplace();
      answer->Record = matched;
      answer->Tag = Escaped(record.Tag);
      answer->Prompt = Escaped(record.Challenge);
      answer->Trigger = record.Trigger;
      answer->Reply = buffer;
      std::string typed = ExpandReplyLine(record.ReplyLine, answer->Reply);
      answer->Line = typed;
      Wipe(typed);
      answer->Complete = ended || module.ChallengeComplete(line.c_str(), matched);
    }
    Wipe(buffer, sizeof buffer);
    return answer;
  };
}

int Session(const TArguments& a, TStoreAccess& store, TConsole& io) {
  Allow(a, {"--auto", "--key", "--log", "--quiet-ms", "--offer-ms", "--asked-ms"});
  if (a.Positional.empty())
    throw TUsageError{"session needs a COMMAND: korvel session [OPTIONS] -- COMMAND [ARGS...]"};
  TSessionSettings settings;
  settings.Auto = a.Flags.count("--auto") > 0;
  if (auto it = a.Values.find("--key"); it != a.Values.end()) {
    std::optional<char> key = ParseKey(it->second);
    if (!key)
      throw TUsageError{"--key takes a control key as ^X or ctrl-x, not '" + Escaped(it->second) +
                        "' (not ESC, Tab, Enter, Backspace or DEL, which typing needs, and not "
                        "Ctrl-], telnet's escape)"};
    settings.Key = *key;
  }
  settings.QuietMs = ParseMilliseconds(a, "--quiet-ms", settings.QuietMs);
  settings.OfferMs = ParseMilliseconds(a, "--offer-ms", settings.OfferMs);
  settings.AskedMs = ParseMilliseconds(a, "--asked-ms", settings.AskedMs);
  // The Linux console knows no OSC strings and would print them.
  if (const char* term = std::getenv("TERM"); term && std::string_view(term).rfind("linux", 0) == 0)
    settings.PlainText = kPlainTextLinuxConsole;
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
  // A template or trigger written by another program may not be one korvel
  // accepts: its record then gets the bare reply, or the built-in triggers
  // only, and the operator is told.
  for (int i = 0; i < module.ClientPasswords->Count(); ++i) {
    TClientPassword& record = module.ClientPasswords->At(i);
    if (std::string why = ReplyLineProblem(record.ReplyLine); !why.empty()) {
      io.Err << "korvel: the reply line of " << Escaped(record.Tag) << " " << why
             << "; its bare reply is typed\n";
      record.ReplyLine.clear();
    }
    if (std::string why = TriggerProblem(record.Trigger); !why.empty()) {
      io.Err << "korvel: the trigger of " << Escaped(record.Tag) << " " << why
             << "; only the built-in ones ask for its challenges\n";
      record.Trigger.clear();
    }
  }
  io.Err.Flush();
  return io.RunSession(a.Positional, settings, module, logPath, io.Err);
}

}  // namespace korvel::cli
