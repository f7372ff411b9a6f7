#include "EditExport.h"

#include <string>

#include "ClientPasswordDialog.h"

namespace korvel {

TModule& LibraryModule() {
  static TModule module{TZORVAModule::kName, nullptr};
  return module;
}

int EditClientPasswords(TZORVAModule& module, TWindow parent) {
  module.LoadClientPasswords();
  {
    TClientPasswordDialog dialog(parent, *module.ClientPasswords, &LibraryModule());
    dialog.Execute();
  }
  int failed = module.SaveClientPasswords();
  if (failed != kAllWritten) {
    // The operator's edits are still in memory; without this they would
    // silently be gone at the next start. A store that could not be opened
    // at all is not the fault of any one record.
    const std::string text = failed >= 0 ? "Error Writing Password " + std::to_string(failed)
                                         : "The password store could not be opened for writing";
    Platform().ShowMessageBox(nullptr, text, "TAVRIK ERROR", kMbOk);
  }
  return 1;
}

}  // namespace korvel
