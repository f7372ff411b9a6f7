// A 32-bit host that has loaded GCC's shared libgcc (libgcc_s_dw2-1.dll)
// before ZORVA.DLL, as programs built with the shared libgcc have. ZORVA's
// start-up code then registers ZORVA's unwind tables with that libgcc, and
// ZORVA must still catch its own exceptions: with all memory taken, the first
// export call fails to make the library's module (std::bad_alloc, caught
// inside ZORVA) and answers 0; the host lives on.
// Prints "survived RESULT" and exits 0 when RESULT is the right answer (0);
// exits 77 (a skip) when ZORVA's tables did not go to the shared libgcc, and 2 when a
// library is missing or the memory could not be used up.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "zorva.h"

namespace {

struct TUnwindBases {
  void* TextBase;
  void* DataBase;
  void* Function;
};
using TFindFde = const void* (*)(void* pc, TUnwindBases* bases);

void* Find(HMODULE module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(module, name));
}

// Takes the address space and then the heap that ZORVA allocates from (the
// CRT's, which both share), down to blocks of 8 bytes; the destructor gives
// everything back. With no address space left the heap cannot grow: more than
// 256 MB taken from it means that it still could, and taking stops there.
class TAllMemory {
 public:
  TAllMemory() {
    Reserved.reserve(1 << 16);
    for (SIZE_T size = SIZE_T{1} << 30; size >= (SIZE_T{1} << 16);) {
      void* block = Reserved.size() < Reserved.capacity()
                        ? VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS)
                        : nullptr;
      if (block)
        Reserved.push_back(block);
      else
        size /= 2;
    }
    std::size_t total = 0;
    for (std::size_t size = std::size_t{1} << 20; size >= 8 && total < (256u << 20); size /= 2)
      while (total < (256u << 20)) {
        void* block = std::malloc(size);
        if (!block) break;
        *static_cast<void**>(block) = Blocks;
        Blocks = block;
        total += size;
      }
    Exhausted = total < (256u << 20);
  }
  ~TAllMemory() {
    while (Blocks) {
      void* next = *static_cast<void**>(Blocks);
      std::free(Blocks);
      Blocks = next;
    }
    for (void* block : Reserved) VirtualFree(block, 0, MEM_RELEASE);
  }
  bool Exhausted = false;

 private:
  std::vector<void*> Reserved;
  void* Blocks = nullptr;
};

}  // namespace

int main() {
  HMODULE libgcc = LoadLibraryA("libgcc_s_dw2-1.dll");
  HMODULE zorva = libgcc ? LoadLibraryA("ZORVA.DLL") : nullptr;
  if (!zorva) {
    std::printf("cannot load %s\n", libgcc ? "ZORVA.DLL" : "libgcc_s_dw2-1.dll");
    return 2;
  }
  auto search = reinterpret_cast<decltype(&ZORVASearchClientPasswordChallenge)>(
      Find(zorva, "ZORVASearchClientPasswordChallenge"));
  auto findFde = reinterpret_cast<TFindFde>(Find(libgcc, "_Unwind_Find_FDE"));
  TUnwindBases bases{};
  if (!search || !findFde || !findFde(reinterpret_cast<void*>(search), &bases)) {
    std::printf("ZORVA's unwind tables are not registered with the shared libgcc\n");
    return 77;
  }
  int position = -1, result = -1;
  bool exhausted = false;
  {
    TAllMemory all;
    exhausted = all.Exhausted;
    if (exhausted) result = search("BBS>", &position);
  }
  if (!exhausted) {
    std::printf("the memory could not be used up\n");
    return 2;
  }
  std::printf("survived %d\n", result);
  return result == 0 ? 0 : 1;
}
