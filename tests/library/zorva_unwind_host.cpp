// A host built with GCC's shared libgcc: it has loaded that DLL
// (libgcc_s_dw2-1.dll on 32-bit, libgcc_s_seh-1.dll on 64-bit) before
// ZORVA.DLL. On 32-bit, ZORVA's start-up code then registers ZORVA's unwind
// tables with that libgcc instead of ZORVA's own unwinder, and an exception
// thrown and caught inside ZORVA must still unwind. 64-bit code unwinds
// through tables Windows finds itself; there the same run checks the rest.
//
//   zorva_unwind_host [FOLDER]
// loads the shared libgcc from the host's folder and FOLDER\ZORVA.DLL (a test
// build whose first export call throws std::bad_alloc while it makes its
// module, as with no memory left) from there too, and calls two exports.
// Prints what it does and exits 0 when the library threw and both exports
// answered 0 and left their out-arguments alone; 1 when they answered
// otherwise; 2 when a DLL or an export is missing or the library did not
// throw; 77 (a skip) when ZORVA's tables did not go to the shared libgcc, so
// that the case does not arise. When the exception cannot unwind, the
// process ends in std::terminate, before "survived".
#include <windows.h>

#include <cstdio>
#include <string>

#include "zorva.h"

namespace {

#ifndef _WIN64
struct TUnwindBases {
  void* TextBase;
  void* DataBase;
  void* Function;
};
using TFindFde = const void* (*)(void* pc, TUnwindBases* bases);
#endif

std::string HostFolder() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length < MAX_PATH ? length : 0);
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

HMODULE Load(const std::string& path) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module)
    std::printf("cannot load %s (error %lu): it and every DLL it imports belong there\n",
                path.c_str(), GetLastError());
  return module;
}

template <typename F>
F Export(HMODULE module, const char* name) {
  auto* found = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (!found) std::printf("ZORVA.DLL does not export %s\n", name);
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  // Whatever happens, no dialog waits for a click.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  const std::string folder = HostFolder();
  std::string library = folder;
  if (argc > 1) library += std::string(argv[1]) + "\\";
  library += "ZORVA.DLL";

  HMODULE libgcc = Load(folder + SHARED_LIBGCC);
  HMODULE zorva = libgcc ? Load(library) : nullptr;
  if (!zorva) return 2;
  auto search = Export<decltype(&ZORVASearchClientPasswordChallenge)>(
      zorva, "ZORVASearchClientPasswordChallenge");
  auto autoReply =
      Export<decltype(&ZORVAAutoClientPasswordReply)>(zorva, "ZORVAAutoClientPasswordReply");
  if (!search || !autoReply) return 2;
  std::printf("loaded %s, then %s\n", SHARED_LIBGCC, library.c_str());

#ifndef _WIN64
  auto findFde = reinterpret_cast<TFindFde>(
      reinterpret_cast<void*>(GetProcAddress(libgcc, "_Unwind_Find_FDE")));
  TUnwindBases bases{};
  if (!findFde) {
    std::printf("%s does not export _Unwind_Find_FDE\n", SHARED_LIBGCC);
    return 2;
  }
  if (!findFde(reinterpret_cast<void*>(search), &bases)) {
    std::printf(
        "SKIPPED: ZORVA's start-up code did not register its unwind tables with %s, "
        "so the case this test is for does not arise\n",
        SHARED_LIBGCC);
    return 77;
  }
  std::printf("ZORVA's start-up code registered its unwind tables with %s\n", SHARED_LIBGCC);
#else
  std::printf("64-bit: ZORVA unwinds through the tables Windows finds itself\n");
#endif

  std::printf("the first export call throws inside ZORVA\n");
  std::fflush(stdout);  // the process may end in std::terminate
  int position = 7;
  char reply[8] = "kept";
  const int found = search("BBS> <1>", &position);
  const int answered = autoReply("BBS> <1>", reply, sizeof reply - 1);
  char threw[32] = "";
  if (!GetEnvironmentVariableA("ZORVA_THREW", threw, sizeof threw)) {
    std::printf("ZORVA did not throw: %s is not the library's test build\n", library.c_str());
    return 2;
  }
  std::printf("ZORVA threw %s and lived on\n", threw);
  if (found != 0 || answered != 0 || position != 7 || std::string(reply) != "kept") {
    std::printf(
        "the exports answered %d and %d (position %d, reply \"%s\"); without a module "
        "they must answer 0 and leave both alone\n",
        found, answered, position, reply);
    return 1;
  }
  FreeLibrary(zorva);
  std::printf("survived: both exports answered 0\n");
  return 0;
}
