#include "Records.h"

#include <memory>
#include <utility>

namespace korvel::test {

TClientPassword Record(std::string tag, std::string prompt, std::string password, int type,
                       std::string matrixLen) {
  TClientPassword r(std::move(tag));
  r.Challenge = std::move(prompt);
  r.String = std::move(password);
  r.Type = type;
  r.MatrixLen = std::move(matrixLen);
  return r;
}

TClientPassword Record(std::string tag, std::string prompt, std::string password,
                       std::string_view typeText) {
  TClientPassword r = Record(std::move(tag), std::move(prompt), std::move(password));
  ApplyTypeText(typeText, r);
  return r;
}

TClientPasswordList List(std::initializer_list<TClientPassword> records) {
  TClientPasswordList list;
  for (const TClientPassword& r : records) Append(list, r);
  return list;
}

int Append(TClientPasswordList& list, TClientPassword record) {
  list.Add(std::make_unique<TClientPassword>(std::move(record)));
  return list.Count() - 1;
}

std::string Utf16(std::string_view latin1) {
  std::string out("\xFF\xFE", 2);
  for (char c : latin1) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

}  // namespace korvel::test
