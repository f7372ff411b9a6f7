#include "ModuleInstance.h"

namespace korvel {
namespace {

TZORVAModule* Module = nullptr;
int AttachCount = 0;

}  // namespace

std::unique_ptr<TZORVAModule> MakeDefaultModule() {
  std::shared_ptr<TRegStore> store = MakeDefaultRegStore();
  if (!store) return nullptr;
  return std::make_unique<TZORVAModule>(std::move(store));
}

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
