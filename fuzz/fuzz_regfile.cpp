// The store file reader: whatever it reads, written out and read again, gives
// the same tree, and written again the same bytes.
#include <iterator>
#include <string>
#include <string_view>

#include "RegFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  korvel::TRegParseResult first = korvel::ParseRegFile(bytes);
  // The HKEY_ roots always exist: the writer leaves out a root that holds
  // nothing, so such a root read from the file is no difference.
  auto& roots = first.Root->Keys;
  for (auto it = roots.begin(); it != roots.end();)
    it = it->second->Keys.empty() && it->second->Values.empty() ? roots.erase(it) : std::next(it);
  std::string text = korvel::WriteRegFile(*first.Root);
  korvel::TRegParseResult second = korvel::ParseRegFile(text);
  if (!second.Errors.empty() || !second.Root->SameAs(*first.Root)) __builtin_trap();
  if (korvel::WriteRegFile(*second.Root) != text) __builtin_trap();
  return 0;
}
