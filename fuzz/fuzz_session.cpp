// korvel session's policy and log against an arbitrary far end and an
// arbitrary terminal: a small list of records, then events (received text,
// typed bytes, time passing) in any order. Whatever comes, nothing crashes,
// the log holds no control character but its line ends, the terminal gets
// no status question of the far end's, and korvel types nothing but the
// operator's bytes, whole reply lines and its answers to those questions.
#include <cstdlib>

#include "FuzzInput.h"
#include "SessionLog.h"
#include "SessionPolicy.h"
#include "ZORVAModule.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  korvel::fuzz::TInput in(data, size);
  korvel::TZORVAModule module(nullptr);
  const int records = in.Byte() % 4;
  for (int i = 0; i < records; ++i) {
    auto record = std::make_unique<korvel::TClientPassword>(in.Text());
    korvel::ApplyTypeText(in.Text(), *record);
    record->Challenge = in.Text();
    record->String = in.Text();
    record->ReplyLine = in.Text();
    record->Trigger = in.Text();
    module.ClientPasswords->Add(std::move(record));
  }
  korvel::cli::TSessionSettings settings;
  settings.Auto = in.Byte() & 1;
  korvel::cli::TSessionPolicy policy(settings, korvel::cli::SessionAnswerer(module));
  korvel::cli::TSessionLog log;
  int64_t now = 0;
  std::size_t sent = 0, allowed = 0;
  {
    korvel::cli::TSessionOutput started;
    policy.Start(now, started);
  }
  while (!in.Empty()) {
    const uint8_t event = in.Byte();
    now += (event >> 2) * 25;  // up to 1.6 s a step
    korvel::cli::TSessionOutput out;
    const std::string text = in.Text();
    switch (event & 3) {
      case 0: {
        // Status questions come out of what the terminal gets, and korvel
        // answers them with its "all is well" only.
        const std::string shown = policy.Screen(text, out);
        if (shown.find("\x1b[5n") != std::string::npos) std::abort();
        for (std::size_t at = 0; at < out.ToConnection.size(); at += 4)
          if (out.ToConnection.compare(at, 4, "\x1b[0n") != 0) std::abort();
        allowed += out.ToConnection.size();
        policy.Received(shown, now, out);
        break;
      }
      case 1: policy.Typed(text, now, out); break;
      default: policy.Tick(now, out); break;
    }
    for (const std::string& secret : out.Secrets) log.Secret(secret);
    const std::string logged = log.Add(text);
    for (char c : logged)
      if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F) std::abort();
    // The connection got the operator's bytes (a report's possibly in a
    // later step, once it ends) or a reply line and CR: never more than what
    // was typed and the replies, counted from the start.
    if ((event & 3) == 1) allowed += text.size();
    for (std::size_t i = 0; i < out.Secrets.size(); i += 2) allowed += out.Secrets[i + 1].size() + 1;
    sent += out.ToConnection.size();
    if (sent > allowed) std::abort();
  }
  return 0;
}
