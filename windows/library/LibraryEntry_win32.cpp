// ZORVA.DLL's entry point and its dialog export. Under the loader lock the
// entry only counts attaches: the module object over the registry store is
// made at the first export call, and at a detach while the process goes on it
// saves only a list that changed. Thread notifications are ignored.
#include <windows.h>

#include <new>
#include <utility>

#define ZORVA_BUILDING
#include "zorva.h"

#include "EditExport.h"
#include "ModuleInstance.h"
#include "Win32Dialogs.h"
#include "RegistryStore.h"

namespace {

std::unique_ptr<korvel::TZORVAModule> MakeModule() {
  auto store = std::make_shared<korvel::TRegistryStore>();
#ifdef ZORVA_THROW_WHILE_MAKING_MODULE
  // Only the test builds of the library for the unwinding test have this:
  // the module fails as it would with no memory left, by an exception thrown
  // and caught inside the library, with the store to destroy on the way. The
  // variable tells the host that the throw happened.
  if (store) {
    SetEnvironmentVariableA("ZORVA_THREW", "std::bad_alloc");
    throw std::bad_alloc();
  }
#endif
  return std::make_unique<korvel::TZORVAModule>(std::move(store));
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      korvel::LibraryModule().Instance = instance;  // the dialogs' resources
      korvel::ZorvaProcessAttach(MakeModule);
      break;
    case DLL_PROCESS_DETACH:
      // A non-null `reserved`: the process is ending, nothing is saved.
      korvel::ZorvaProcessDetach(reserved != nullptr);
      break;
    default: break;
  }
  return TRUE;  // also when the module could not be made: the exports answer 0
}

extern "C" ZORVA_API int ZORVA_CALL ZORVAEditClientPasswordsDlg(void* parent) {
  korvel::TZORVAModule* module = korvel::ZorvaModule();
  if (!module) return 0;
  try {
    korvel::UseWin32Dialogs();
    return korvel::EditClientPasswords(*module, korvel::TWindow{parent});
  } catch (...) {
    return 0;
  }
}
