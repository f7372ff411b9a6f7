// One record of any type, then search, isolation and reply making on an
// arbitrary received line, with arbitrary buffer lengths.
#include <vector>

#include "FuzzInput.h"
#include "ZORVAModule.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  korvel::fuzz::TInput in(data, size);
  korvel::TZORVAModule module(nullptr);
  auto record = std::make_unique<korvel::TClientPassword>("tag");
  record->Type = in.Byte() % 9;  // 8: a type outside 0 to 7
  unsigned length = in.Byte() * 2u;
  record->Challenge = in.Text();
  record->String = in.Text();
  record->MatrixLen = in.Text();
  module.ClientPasswords->Add(std::move(record));
  std::string text = in.Text();

  int position = -1;
  module.SearchChallenge(text.c_str(), position);
  std::vector<char> challenge(length + 1, 'C');
  int counter = 0;
  if (module.IsolateChallenge(text.c_str(), challenge.data(), length, position, counter)) {
    if (counter != 0) challenge.assign(text.begin(), text.end());
    challenge.push_back('\0');
    std::vector<char> reply(length + 1, 'R');
    module.MakeChallengeReply(challenge.data(), reply.data(), length, position);
  }
  return 0;
}
