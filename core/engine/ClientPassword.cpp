#include "ClientPassword.h"

#include "CharClass.h"

namespace korvel {

std::string TypeText(const TClientPassword& record) {
  switch (record.Type) {
    case kNetromMatrix: return "M" + record.MatrixLen;
    case kMD2: return "MD2";
    case kMD5: return "MD5";
    case kItanet: return "ITANET";
    case kFlexnet: return "FLEXNET";
    case kMatrix0: return "0M" + record.MatrixLen;
    case kNosMD5: return "NOSMD5";
    case kFlexnetDigits: return "SYDIGITS";
    default: return {};
  }
}

void ApplyTypeText(std::string_view text, TClientPassword& record) {
  record.MatrixLen.clear();
  char first = text.empty() ? '\0' : ToUpper(text[0]);
  char second = text.size() > 1 ? ToUpper(text[1]) : '\0';
  if (first == 'I') {
    record.Type = kItanet;
  } else if (first == 'F') {
    record.Type = kFlexnet;
  } else if (first == 'M' && second == 'D') {
    record.Type = text.size() > 2 && text[2] == '5' ? kMD5 : kMD2;
  } else if (first == 'M') {
    record.Type = kNetromMatrix;
    record.MatrixLen = std::string(text.substr(1));
  } else if (first == '0' && second == 'M') {
    record.Type = kMatrix0;
    record.MatrixLen = std::string(text.substr(2));
  } else if (EqualNoCase(text, "NOSMD5")) {
    record.Type = kNosMD5;
  } else if (EqualNoCase(text, "SYDIGITS")) {
    record.Type = kFlexnetDigits;
  } else {
    record.Type = kMD2;
  }
}

std::unique_ptr<TClientPassword> TClientPasswordList::Detach(int position, bool destroy) {
  if (!Valid(position)) return nullptr;
  auto it = Items.begin() + position;
  std::unique_ptr<TClientPassword> record = std::move(*it);
  Items.erase(it);
  if (destroy) record.reset();
  return record;
}

int TClientPasswordList::FirstThat(const std::function<bool(const TClientPassword&)>& test) const {
  for (int i = 0; i < Count(); ++i)
    if (test(At(i))) return i;
  return -1;
}

void TClientPasswordList::Assign(const std::vector<TClientPassword>& records) {
  Items.clear();
  for (const TClientPassword& record : records)
    Items.push_back(std::make_unique<TClientPassword>(record));
}

std::vector<TClientPassword> TClientPasswordList::Snapshot() const {
  std::vector<TClientPassword> out;
  out.reserve(Items.size());
  for (const auto& item : Items) out.push_back(*item);
  return out;
}

}  // namespace korvel
