// korvel's import of an arbitrary file into a store that already holds a
// client password: a file it takes is exported, and that export imports again
// to the same bytes; a file it refuses leaves the store as it was.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Korvel.h"
#include "MemoryStore.h"

namespace {

struct TResult {
  int Status;
  std::string Out, Err;
};

TResult Run(const std::vector<std::string>& args, std::shared_ptr<korvel::TPasswordStore> store,
            const std::string& input = "") {
  korvel::cli::TTextInput in(input);
  korvel::cli::TTextOutput out, err;
  korvel::cli::TConsole console{in, out, err,
                                [](korvel::cli::TInput& i, korvel::cli::TOutput&,
                                   std::string& password) { return i.ReadLine(password); },
                                [](const std::string&, korvel::cli::TOutput&) { return true; }};
  int status = korvel::cli::Run(args, store, console);
  return {status, out.Text, err.Text};
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

const std::string& ImportPath() {
  static const std::string path = "/tmp/korvel-fuzz-import-" + std::to_string(getpid()) + ".reg";
  // Registered after the path is made, so it runs before the path is destroyed.
  static const bool removeAtExit = std::atexit([] { std::remove(ImportPath().c_str()); }) == 0;
  (void)removeAtExit;
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string& path = ImportPath();
  Write(path, std::string(reinterpret_cast<const char*>(data), size));
  auto store = std::make_shared<korvel::test::TMemoryStore>();
  if (Run({"add", "bbs", "--type", "md2", "--prompt", "BBS>"}, store, "geheim\n").Status != 0)
    __builtin_trap();
  const std::string before = Run({"export"}, store).Out;

  TResult imported = Run({"import", path}, store);
  if (imported.Status != 0) {
    if (imported.Err.empty() || Run({"export"}, store).Out != before) __builtin_trap();
    return 0;
  }
  Run({"list"}, store);
  Run({"reply", "BBS> [1234567890] NODE} 3 1 7 9 2 <x9q2> 12 7 40 3 99"}, store);
  const std::string exported = Run({"export"}, store).Out;
  Write(path, exported);
  auto again = std::make_shared<korvel::test::TMemoryStore>();
  if (Run({"import", path}, again).Status != 0 || Run({"export"}, again).Out != exported)
    __builtin_trap();
  return 0;
}
