// The matrix template language: any template, any count, any challenge.
#include "FuzzInput.h"
#include "Matrix.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  korvel::fuzz::TInput in(data, size);
  int32_t count = static_cast<int8_t>(in.Byte());
  std::string templ = in.Text();
  std::string challenge = in.Text();
  korvel::TMatrix matrix(count, templ.c_str());
  matrix.MakeReply(challenge.c_str());
  if (count >= 0 && matrix.Reply().size() > static_cast<std::size_t>(count)) __builtin_trap();
  return 0;
}
