// Splits fuzz input into zero-separated texts, so each target can draw a few
// small texts (a prompt, a password, a template) and a received line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvel::fuzz {

class TInput {
 public:
  TInput(const uint8_t* data, std::size_t size)
      : Data(reinterpret_cast<const char*>(data)), Size(size) {}
  // The next text up to a zero byte (or the end); empty once used up.
  std::string Text() {
    std::string out;
    while (At < Size && Data[At] != '\0') out.push_back(Data[At++]);
    if (At < Size) ++At;
    return out;
  }
  uint8_t Byte() { return At < Size ? static_cast<uint8_t>(Data[At++]) : 0; }
  bool Empty() const { return At >= Size; }

 private:
  const char* Data;
  std::size_t Size;
  std::size_t At = 0;
};

}  // namespace korvel::fuzz
