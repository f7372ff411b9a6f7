#include "SessionLog.h"

#include <algorithm>

#include "CharClass.h"
#include "Korvel.h"
#include "Wipe.h"

namespace korvel::cli {

// The pending line may hold an echoed reply, and the secrets are replies:
// neither is ever moved to larger storage, which would leave a copy behind.
TSessionLog::TSessionLog() {
  Pending.reserve(2 * kPartLimit + 1);
  Secrets.reserve(16);
}

TSessionLog::~TSessionLog() {
  for (std::string& secret : Secrets) Wipe(secret);
  Wipe(Pending);
}

void TSessionLog::Secret(const std::string& text) {
  if (text.empty() || std::find(Secrets.begin(), Secrets.end(), text) != Secrets.end()) return;
  if (Secrets.size() == Secrets.capacity()) {
    std::vector<std::string> larger;
    larger.reserve(2 * Secrets.capacity());
    for (std::string& secret : Secrets) {
      larger.push_back(secret);
      Wipe(secret);
    }
    Secrets.swap(larger);
  }
  // The longest first, so that a reply line is left out whole rather than
  // around the reply it holds.
  auto at = std::find_if(Secrets.begin(), Secrets.end(),
                         [&](const std::string& s) { return s.size() < text.size(); });
  Secrets.insert(at, text);
}

std::string TSessionLog::Add(std::string_view received) {
  std::string out;
  for (char c : received) {
    const bool afterCR = AfterCR;
    AfterCR = c == '\r';
    if (c == '\n' && afterCR) continue;
    if (c == '\r' || c == '\n') {
      out += Take(Pending.size()) + "\n";
      continue;
    }
    Pending += c;
    // A secret is shorter than a part, so one that starts in the first
    // part ends within the pending text.
    if (Pending.size() >= 2 * kPartLimit) out += Take(kPartLimit);
  }
  return out;
}

std::string TSessionLog::Finish() { return Pending.empty() ? "" : Take(Pending.size()) + "\n"; }

std::string TSessionLog::Take(std::size_t end) {
  std::string plain;
  std::size_t at = 0;
  while (at < end) {
    const std::string* found = nullptr;
    for (const std::string& secret : Secrets)
      if (secret.size() <= Pending.size() - at &&
          EqualNoCase(std::string_view(Pending).substr(at, secret.size()), secret)) {
        found = &secret;
        break;
      }
    if (found) {
      plain += kMark;
      at += found->size();
      end = std::max(end, at);
    } else {
      plain += Pending[at++];
    }
  }
  std::string text = Escaped(plain);
  Wipe(plain);
  std::fill(Pending.begin(), Pending.begin() + static_cast<std::ptrdiff_t>(end), '\0');
  Pending.erase(0, end);
  return text;
}

}  // namespace korvel::cli
