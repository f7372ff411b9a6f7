// Digest throughput, side by side in one run: our MD5 against the system
// OpenSSL's, our MD2 against a plain implementation of the RFC's algorithm.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <string>

#include "Digest.h"
#include "ReferenceMD2.h"

namespace {

std::string Message(std::size_t length) {
  std::string m(length, '\0');
  for (std::size_t i = 0; i < length; ++i) m[i] = static_cast<char>(1 + (i * 37 + 11) % 255);
  return m;
}

void MD5_Korvel(benchmark::State& state) {
  std::string m = Message(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    korvel::TMD5Digest digest{std::string_view(m)};
    benchmark::DoNotOptimize(digest.Digest());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void MD5_OpenSSL(benchmark::State& state) {
  std::string m = Message(static_cast<std::size_t>(state.range(0)));
  unsigned char out[16];
  unsigned size = 0;
  for (auto _ : state) {
    EVP_Digest(m.data(), m.size(), out, &size, EVP_md5(), nullptr);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void MD2_Korvel(benchmark::State& state) {
  std::string m = Message(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    korvel::TMD2Digest digest{std::string_view(m)};
    benchmark::DoNotOptimize(digest.Digest());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void MD2_Reference(benchmark::State& state) {
  std::string m = Message(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(korvel::test::ReferenceMD2(m));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

BENCHMARK(MD5_Korvel)->Arg(64)->Arg(1024)->Arg(1 << 20);
BENCHMARK(MD5_OpenSSL)->Arg(64)->Arg(1024)->Arg(1 << 20);
BENCHMARK(MD2_Korvel)->Arg(64)->Arg(1024)->Arg(1 << 20);
BENCHMARK(MD2_Reference)->Arg(64)->Arg(1024)->Arg(1 << 20);

}  // namespace
