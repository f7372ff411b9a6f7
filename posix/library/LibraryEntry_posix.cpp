// libzorva.so: the module object comes with the library and goes with it,
// over the file store at its default place. There is no dialog backend on
// these systems: the edit export answers 0.
#define ZORVA_BUILDING
#include "zorva.h"

#include "ModuleInstance.h"
#include "FileStore.h"

namespace {

std::unique_ptr<korvel::TZORVAModule> MakeModule() {
  std::shared_ptr<korvel::TPasswordStore> store = korvel::MakeDefaultFileStore();
  if (!store) return nullptr;
  return std::make_unique<korvel::TZORVAModule>(std::move(store));
}

__attribute__((constructor)) void ZorvaLoad() { korvel::ZorvaProcessAttach(MakeModule); }

__attribute__((destructor)) void ZorvaUnload() { korvel::ZorvaProcessDetach(); }

}  // namespace

extern "C" ZORVA_API int ZORVA_CALL ZORVAEditClientPasswordsDlg(void*) { return 0; }
