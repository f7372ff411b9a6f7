// ZORVA.DLL's entry point and its dialog export: the module object lives from
// the first process attach to the last detach, over the registry store.
// Thread notifications are ignored.
#include <windows.h>

#define ZORVA_BUILDING
#include "zorva.h"

#include "EditExport.h"
#include "ModuleInstance.h"
#include "Win32Dialogs.h"
#include "RegistryStore.h"

namespace {

std::unique_ptr<korvel::TZORVAModule> MakeModule() {
  return std::make_unique<korvel::TZORVAModule>(std::make_shared<korvel::TRegistryStore>());
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      korvel::LibraryModule().Instance = instance;  // the dialogs' resources
      korvel::ZorvaProcessAttach(MakeModule);
      break;
    case DLL_PROCESS_DETACH: korvel::ZorvaProcessDetach(); break;
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
