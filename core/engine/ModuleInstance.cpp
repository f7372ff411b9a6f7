#include "ModuleInstance.h"

namespace korvel {
namespace {

TZORVAModule* Module = nullptr;
int AttachCount = 0;

}  // namespace

void ZorvaProcessAttach(const TModuleFactory& make) {
  if (AttachCount == 0) {
    try {
      Module = make().release();
    } catch (...) {
      Module = nullptr;
    }
  }
  ++AttachCount;
}

void ZorvaProcessDetach() {
  if (AttachCount == 0) return;
  if (--AttachCount == 0 && Module) {
    try {
      delete Module;
    } catch (...) {
    }
    Module = nullptr;
  }
}

TZORVAModule* ZorvaModule() { return Module; }

}  // namespace korvel
