// Automatic-reply latency for a 255-character received line against lists of
// 10, 100 and 1000 client passwords: the first record matches, the last one
// matches, or none does.
#include <benchmark/benchmark.h>

#include <string>

#include "ZORVAModule.h"

namespace {

enum Where { kFirst = 0, kLast = 1, kNone = 2 };

void AutoReply(benchmark::State& state) {
  const int records = static_cast<int>(state.range(0));
  const Where where = static_cast<Where>(state.range(1));
  korvel::TZORVAModule module(nullptr);
  for (int i = 0; i < records; ++i) {
    auto r = std::make_unique<korvel::TClientPassword>("tag" + std::to_string(i));
    r->Challenge = "DB0N" + std::to_string(i) + "} Password:";
    r->String = "secret";
    r->Type = korvel::kMD5;
    module.ClientPasswords->Add(std::move(r));
  }
  std::string prompt = where == kFirst  ? module.ClientPasswords->At(0).Challenge
                       : where == kLast ? module.ClientPasswords->At(records - 1).Challenge
                                        : std::string("DB0X} Password:");
  std::string line = "Welcome to the node, " + prompt + " <4711abcd>";
  line.insert(0, 255 - line.size(), '-');  // the line is 255 characters long
  char reply[256];
  for (auto _ : state) {
    bool ok = module.AutoReply(line.c_str(), reply, 255);
    benchmark::DoNotOptimize(ok);
    if (ok != (where != kNone)) state.SkipWithError("wrong answer");
  }
}

BENCHMARK(AutoReply)
    ->ArgNames({"records", "where"})
    ->ArgsProduct({{10, 100, 1000}, {kFirst, kLast, kNone}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
