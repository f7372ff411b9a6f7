#include "CommandLine.h"

#include "CharClass.h"
#include "Decimal.h"

namespace korvel::cli {

bool SameTag(const std::string& a, const std::string& b) { return EqualNoCase(a, b); }

TArguments Parse(const std::vector<std::string>& args) {
  static const std::map<std::string, bool> kOptions = {
      {"--store", true},      {"--type", true},      {"--prompt", true},   {"--matrix-len", true},
      {"--reply-line", true}, {"--trigger", true},   {"--key", true},      {"--log", true},
      {"--quiet-ms", true},   {"--offer-ms", true},  {"--asked-ms", true}, {"--copy", false},
      {"--reveal", false},    {"--password", false}, {"--yes", false},     {"--auto", false},
      {"--help", false},      {"--version", false}};
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

int64_t ParseMilliseconds(const TArguments& a, const char* name, int64_t fallback) {
  auto it = a.Values.find(name);
  if (it == a.Values.end()) return fallback;
  const TDecimal number = ReadDecimal(it->second);
  if (it->second.empty() || number.Digits != it->second.size() || it->second.size() > 9 ||
      number.Value == 0)
    throw TUsageError{std::string(name) + " must be a number of milliseconds from 1 to 999999999"};
  return static_cast<int64_t>(number.Value);
}

}  // namespace korvel::cli
