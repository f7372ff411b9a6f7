// The one place where a result is copied into a caller's buffer.
#pragma once

#include <cstring>
#include <string_view>

namespace korvel {

// `length` is the largest number of characters the buffer may receive, the
// terminating zero not counted. A result that does not fit, or no buffer,
// leaves the buffer untouched and gives false.
inline bool CopyToCaller(std::string_view text, char* buffer, unsigned length) {
  if (!buffer || text.size() > length) return false;
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  return true;
}

}  // namespace korvel
