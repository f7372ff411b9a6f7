// 32-bit ZORVA.DLL unwinds its exceptions with its own tables, whatever the
// host has loaded.
//
// 32-bit GCC code unwinds C++ exceptions with DWARF tables (.eh_frame), which
// an unwinder knows only once they are registered with it. The start-up code
// that GCC links into every module (crtbegin.o) registers them at load: with
// the unwinder of libgcc_s_dw2-1.dll when the process has loaded that DLL,
// else with the module's own. ZORVA links libgcc statically, so in a host
// built with the shared libgcc its tables go to the host's unwinder while its
// own unwinder, the one its throws use, has none: any exception thrown in
// ZORVA, even one caught a few lines further on (std::bad_alloc in an export),
// would end in std::terminate and take the host down.
//
// So when ZORVA's own unwinder finds no table for ZORVA's own code, the module
// registers its whole .eh_frame section with it too. The check runs after
// crtbegin.o's registration (a constructor of priority 0, which the start-up
// code runs before this one of priority 101) and before every other
// constructor of the module; the tables are deregistered at unload after the
// destructors of everything constructed later. No link option does this:
// crtbegin.o decides at run time, and linking without it would lose the
// registration in the hosts that do not load the shared libgcc.
//
// 64-bit Windows unwinds through the SEH tables (.pdata) that the system finds
// by itself; crtbegin.o registers nothing there, and this file is not built.
#include <windows.h>

#include <cstdint>
#include <cstdlib>

static_assert(sizeof(void*) == 4, "only 32-bit code unwinds through registered DWARF tables");

extern "C" {
// The statically linked libgcc's unwinder (unwind-dw2-fde.h).
struct TUnwindBases {
  void* TextBase;
  void* DataBase;
  void* Function;
};
const void* _Unwind_Find_FDE(void* pc, TUnwindBases* bases);
void __register_frame_info(const void* begin, void* object);
void* __deregister_frame_info(const void* begin);
// The linker's symbol at the start of this module's image.
extern IMAGE_DOS_HEADER __ImageBase;
}

namespace {

// A zero-length mark among the module's tables, as crtbegin.o marks their
// start: the section of the image that holds it is .eh_frame. The section's
// name cannot be compared: longer than eight characters, it stands in a
// string table that is not loaded with the image.
__attribute__((section(".eh_frame"), used)) const char kAmongTables[0] = {};

// libgcc's `struct object`, six words in GCC 12: its list of registered tables
// keeps it until the deregistration.
void* Registration[16];
const char* RegisteredTables = nullptr;

// The start of the image section that holds the address; null for none.
const char* SectionStart(const void* address) {
  const char* image = reinterpret_cast<const char*>(&__ImageBase);
  const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + __ImageBase.e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(headers);
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  for (WORD i = 0; i < headers->FileHeader.NumberOfSections; ++i, ++section) {
    const auto start = reinterpret_cast<std::uintptr_t>(image) + section->VirtualAddress;
    if (at >= start && at - start < section->Misc.VirtualSize)
      return image + section->VirtualAddress;
  }
  return nullptr;
}

void DeregisterOwnTables() { __deregister_frame_info(RegisteredTables); }

__attribute__((constructor(101))) void RegisterOwnTables() {
  TUnwindBases bases{};
  // Found: crtbegin.o registered the tables here, there is nothing to add
  // (the look-up has sorted them, as the first throw would have).
  if (_Unwind_Find_FDE(reinterpret_cast<void*>(&RegisterOwnTables), &bases)) return;
  RegisteredTables = SectionStart(kAmongTables);
  if (!RegisteredTables) return;
  __register_frame_info(RegisteredTables, Registration);
  std::atexit(DeregisterOwnTables);
}

}  // namespace
