// ZORVA.DLL's entry point: the module object lives from the first process
// attach to the last detach. Thread notifications are ignored.
#include <windows.h>

#include "ModuleInstance.h"
#include "editor/EditExport.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      korvel::LibraryModule().Instance = instance;  // the dialogs' resources
      korvel::ZorvaProcessAttach(korvel::MakeDefaultModule);
      break;
    case DLL_PROCESS_DETACH:
      korvel::ZorvaProcessDetach();
      break;
    default:
      break;
  }
  return TRUE;  // also when the module could not be made: the exports answer 0
}
