// The edit export's work: reload the list, run the Client Passwords Setup
// dialog over it, store it again, and say so when the store cannot be written.
#pragma once

#include "ZORVAModule.h"
#include "Framework.h"

namespace korvel {

// The library's own module: the dialog templates are its resources. The DLL's
// entry point fills in its instance handle.
TModule& LibraryModule();

// Returns 1, as the export does, whichever way the dialog was closed.
int EditClientPasswords(TZORVAModule& module, TWindow parent);

}  // namespace korvel
