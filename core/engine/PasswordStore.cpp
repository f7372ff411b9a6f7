#include "PasswordStore.h"

#include <algorithm>

#include "CharClass.h"

namespace korvel {
namespace {

bool IsDecimalName(const std::string& name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), IsDigit);
}

// Orders decimal names by their value, without converting them (a name may
// have more digits than any integer type holds).
bool NumericLess(const std::string& a, const std::string& b) {
  std::string_view x(a), y(b);
  while (x.size() > 1 && x.front() == '0') x.remove_prefix(1);
  while (y.size() > 1 && y.front() == '0') y.remove_prefix(1);
  if (x.size() != y.size()) return x.size() < y.size();
  return x < y;
}

std::string StoredText(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  return std::string(text.substr(0, kStoredTextLimit));
}

}  // namespace

bool SameRecordsAndVersions(const TStoredPasswords& a, const TStoredPasswords& b) {
  return a.Versions == b.Versions && a.Records == b.Records;
}

TClientPassword RecordFromTexts(std::string_view tag, std::string_view challenge,
                                std::string_view string, std::string_view type,
                                std::string_view replyLine, std::string_view trigger) {
  TClientPassword record(StoredText(tag));
  record.ReplyLine = StoredText(replyLine);
  record.Trigger = StoredText(trigger);
  record.Challenge = StoredText(challenge);
  record.String = StoredText(string);
  ApplyTypeText(StoredText(type), record);
  return record;
}

TClientPassword AsStored(const TClientPassword& record) {
  return RecordFromTexts(record.Tag, record.Challenge, record.String, TypeText(record),
                         record.ReplyLine, record.Trigger);
}

std::vector<std::string> RecordKeyOrder(const std::vector<std::string>& names) {
  std::vector<std::string> numbered, other;
  for (const std::string& name : names) (IsDecimalName(name) ? numbered : other).push_back(name);
  std::stable_sort(numbered.begin(), numbered.end(), NumericLess);
  numbered.insert(numbered.end(), other.begin(), other.end());
  return numbered;
}

std::string RecordKeyName(int position) { return std::to_string(position); }

}  // namespace korvel
