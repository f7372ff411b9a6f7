#include "SessionLog.h"

#include <algorithm>

#include "CharClass.h"
#include "Korvel.h"
#include "Wipe.h"

namespace korvel::cli {

// The pending line may hold an echoed reply, and the secrets are replies:
// neither is ever moved to larger storage, which would leave a copy behind.
TSessionLog::TSessionLog() {
  Pending.reserve(kPendingLimit + kPartLimit);
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
      out += Take(Pending.size(), true) + "\n";
      continue;
    }
    Pending += c;
    // A line without an end goes out in parts; a reply that may go on past
    // the part waits for the next one.
    if (Pending.size() >= 2 * kPartLimit && Pending.size() % kPartLimit == 0)
      out += Take(kPartLimit, Pending.size() >= kPendingLimit);
  }
  return out;
}

std::string TSessionLog::Finish() {
  return Pending.empty() ? "" : Take(Pending.size(), true) + "\n";
}

std::string TSessionLog::Take(std::size_t end, bool whole) {
  std::string plain;
  std::size_t at = 0;
  while (at < end) {
    std::size_t found = std::string::npos;
    bool cut = false;  // a reply's start that the pending text ends in
    for (const std::string& secret : Secrets) {
      const std::size_t match = MatchAt(at, secret);
      if (match == kRunsOut) cut = true;
      if (match != kRunsOut && match != std::string::npos) {
        found = match;
        break;
      }
    }
    if (found == std::string::npos && cut) {
      if (!whole) {  // it may be a reply: it goes out whole, with the next part
        end = at;
        break;
      }
      found = Pending.size();  // the end of the text: a reply's start goes too
    }
    if (found != std::string::npos) {
      plain += kMark;
      at = found;
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

// The end of the secret at `at` in the pending text, letter case ignored
// and the bytes the terminal shows nothing of skipped between its
// characters (controls, escape sequences); npos when it is not there,
// kRunsOut when the text ends while it might still be.
std::size_t TSessionLog::MatchAt(std::size_t at, const std::string& secret) const {
  std::size_t i = at;
  for (std::size_t k = 0; k < secret.size(); ++k) {
    // A byte of the secret itself is never skipped (UTF-8 letters hold
    // bytes that are C1 controls on their own).
    if (k > 0 && (i >= Pending.size() || ToUpper(Pending[i]) != ToUpper(secret[k]))) {
      i = SkipInvisible(i);
      if (i == std::string::npos) return i;
    }
    if (i >= Pending.size()) return kRunsOut;
    if (ToUpper(Pending[i]) != ToUpper(secret[k])) return std::string::npos;
    ++i;
  }
  return i;
}

// Past the controls and escape sequences that start at `i`; npos past
// kInvisibleLimit bytes of them (more than a terminal's echo puts between
// two letters; and a long string is not scanned again for each letter that
// may start a secret).
std::size_t TSessionLog::SkipInvisible(std::size_t i) const {
  const std::string& t = Pending;
  const bool cut = t.size() - i > kInvisibleLimit;
  const std::size_t end = cut ? i + kInvisibleLimit : t.size();
  while (i < end) {
    const auto c = static_cast<unsigned char>(t[i]);
    if (c != 0x1B) {
      if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F)) {
        ++i;
        continue;
      }
      return i;
    }
    if (++i >= end) break;
    const char kind = t[i++];
    if (kind == '[') {  // CSI: parameters and intermediates, then a final byte
      while (i < end && static_cast<unsigned char>(t[i]) >= 0x20 &&
             static_cast<unsigned char>(t[i]) <= 0x3F)
        ++i;
      if (i < end) ++i;
    } else if (kind == ']' || kind == 'P' || kind == 'X' || kind == '^' || kind == '_') {
      while (i < end && t[i] != '\x07' && !(t[i] == '\x1b' && i + 1 < end && t[i + 1] == '\\'))
        ++i;
      if (i < end) i += t[i] == '\x07' ? 1 : 2;
    } else {  // ESC, intermediates, a final byte
      while (i < end && static_cast<unsigned char>(t[i - 1]) >= 0x20 &&
             static_cast<unsigned char>(t[i - 1]) <= 0x2F)
        ++i;
    }
  }
  return cut ? std::string::npos : i;
}

}  // namespace korvel::cli
