#include "CodePage.h"

#include <vector>

namespace korvel {

std::wstring Widen(const std::string& text, UINT codePage) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return std::wstring(text.size(), L'\xFFFD');  // an unknown code page
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
  return wide;
}

std::string Narrow(const std::wstring& text, UINT codePage, bool* lost) {
  if (lost) *lost = false;
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  BOOL usedDefault = FALSE;
  DWORD flags = WC_NO_BEST_FIT_CHARS;
  BOOL* used = &usedDefault;
  int length = WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, nullptr, used);
  if (length <= 0) {
    // UTF-8, UTF-7 and a few others take neither the flag nor the default
    // character; UTF-8 holds every character anyway.
    flags = 0;
    used = nullptr;
    length = WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  }
  if (length <= 0) {
    if (lost) *lost = true;
    return std::string(text.size(), '?');
  }
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(codePage, flags, text.data(), size, narrow.data(), length, nullptr, used);
  if (lost) *lost = usedDefault != FALSE;
  return narrow;
}

std::string ConvertCodePage(const std::string& text, UINT from, UINT to, bool* lost) {
  return Narrow(Widen(text, from), to, lost);
}

namespace {

// A path cut into its names, each with the separator before it ("C:",
// "\\Users", "\\list.reg").
template <typename TString>
std::vector<TString> Names(const TString& path) {
  std::vector<TString> names;
  std::size_t start = 0;
  for (std::size_t i = 1; i <= path.size(); ++i)
    if (i == path.size() || path[i] == '\\' || path[i] == '/') {
      names.push_back(path.substr(start, i - start));
      start = i;
    }
  return names;
}

// An argument with characters the ANSI code page lacks, name by name.
struct TWideArgument {
  std::vector<std::string> Ansi;
  std::vector<std::wstring> Wide;
};

std::vector<TWideArgument>& WideArguments() {
  static std::vector<TWideArgument> arguments;
  return arguments;
}

}  // namespace

void RememberWideArgument(const std::wstring& argument) {
  bool lost = false;
  const std::string ansi = Narrow(argument, CP_ACP, &lost);
  if (!lost) return;
  TWideArgument names{Names(ansi), Names(argument)};
  // A name's ANSI form keeps its separators, so both have as many names.
  if (names.Ansi.size() == names.Wide.size()) WideArguments().push_back(std::move(names));
}

std::wstring WidePath(const std::string& path) {
  if (path.find('?') == std::string::npos || WideArguments().empty()) return Widen(path, CP_ACP);
  // The argument the path was made from: the one it shares most names with.
  const std::vector<std::string> names = Names(path);
  const TWideArgument* from = nullptr;
  std::size_t best = 0;
  for (const TWideArgument& argument : WideArguments()) {
    std::size_t shared = 0;
    while (shared < names.size() && shared < argument.Ansi.size() &&
           names[shared] == argument.Ansi[shared])
      ++shared;
    if (!from || shared > best) {
      from = &argument;
      best = shared;
    }
  }
  std::wstring wide;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i < best) {
      wide += from->Wide[i];
      continue;
    }
    // A name made from the argument's last one: its lock file, its copy,
    // a temporary file beside it.
    std::wstring name = Widen(names[i], CP_ACP);
    const std::string& last = from->Ansi.back();
    const std::size_t skip = last[0] == '\\' || last[0] == '/' ? 1 : 0;
    const std::size_t at = names[i].find(last.substr(skip));
    if (names[i].find('?') != std::string::npos && at != std::string::npos)
      name = Widen(names[i].substr(0, at), CP_ACP) + from->Wide.back().substr(skip) +
             Widen(names[i].substr(at + last.size() - skip), CP_ACP);
    wide += name;
  }
  return wide;
}

}  // namespace korvel
