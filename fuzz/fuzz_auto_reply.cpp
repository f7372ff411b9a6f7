// The automatic reply over a small arbitrary list and an arbitrary line. Each
// record's type comes from a stored type text, so every type and the order
// among records under one prompt (which one answers when several prompts
// occur) are reached.
#include <vector>

#include "FuzzInput.h"
#include "ZORVAModule.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  korvel::fuzz::TInput in(data, size);
  korvel::TZORVAModule module(nullptr);
  int records = in.Byte() % 5;
  for (int i = 0; i < records; ++i) {
    auto record = std::make_unique<korvel::TClientPassword>("tag");
    korvel::ApplyTypeText(in.Text(), *record);
    record->Challenge = in.Text();
    record->String = in.Text();
    module.ClientPasswords->Add(std::move(record));
  }
  unsigned length = in.Byte();
  std::string text = in.Text();
  std::vector<char> reply(length + 1, 'R');
  module.AutoReply(text.c_str(), reply.data(), length);
  return 0;
}
