// libzorva.so: the module object comes with the library and goes with it.
#include "ModuleInstance.h"

namespace {

__attribute__((constructor)) void ZorvaLoad() {
  korvel::ZorvaProcessAttach(korvel::MakeDefaultModule);
}

__attribute__((destructor)) void ZorvaUnload() { korvel::ZorvaProcessDetach(); }

}  // namespace
