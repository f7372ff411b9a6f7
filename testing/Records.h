// Client password records and lists built in one line, and the UTF-16 form
// of a text as RegEdit writes its export files.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "ClientPassword.h"

namespace korvel::test {

TClientPassword Record(std::string tag, std::string prompt = {}, std::string password = {},
                       int type = kMD2, std::string matrixLen = {});
// The type as the store keeps it: "M5", "MD2", "MD5", "ITANET", "FLEXNET".
TClientPassword Record(std::string tag, std::string prompt, std::string password,
                       std::string_view typeText);

TClientPasswordList List(std::initializer_list<TClientPassword> records);
// Adds the record at the end of the list; its position.
int Append(TClientPasswordList& list, TClientPassword record);

// Little-endian UTF-16 with its byte order mark, from 8-bit (Latin-1) text.
std::string Utf16(std::string_view latin1);

}  // namespace korvel::test
