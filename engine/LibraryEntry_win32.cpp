// ZORVA.DLL's entry point: the module object lives from the first process
// attach to the last detach. Thread notifications are ignored.
#include <windows.h>

#include "ModuleInstance.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
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
