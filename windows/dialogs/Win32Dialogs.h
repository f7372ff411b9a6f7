// The Win32 backend of the dialog framework: dialogs from resource templates,
// control objects bound to the real child windows, MessageBoxA.
#pragma once

namespace korvel {

// Makes the Win32 platform the one dialogs run on (once per process).
void UseWin32Dialogs();

}  // namespace korvel
