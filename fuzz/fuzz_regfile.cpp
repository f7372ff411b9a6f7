// The store file reader: whatever it reads, written out and read again, gives
// the same tree.
#include <string_view>

#include "registry/RegTree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  korvel::TRegParseResult first = korvel::ParseRegFile(bytes);
  korvel::TRegParseResult second = korvel::ParseRegFile(korvel::WriteRegFile(*first.Root));
  if (!second.Errors.empty() || !second.Root->SameAs(*first.Root)) __builtin_trap();
  return 0;
}
