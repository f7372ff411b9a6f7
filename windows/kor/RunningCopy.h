// A second start of KOR: the copy that runs already comes to the front, and
// the second one ends.
#pragma once

#include <windows.h>

namespace korvel {

// The message a second start sends to the running copy's main window, and
// the answer with which that copy says it has come to the front.
UINT BringForwardMessage();
inline constexpr LRESULT kBroughtForward = 0x4B4F52;  // "KOR"

// Windows' AllowSetForegroundWindow, or a stand-in in tests.
using TAllowSetForeground = BOOL(WINAPI*)(DWORD processId);

// What a second start does with the running copy's main window. Windows lets
// only the process that may set the foreground (the one the operator has
// just started) put a window in front, so the second start hands that right
// to the running copy's process and asks it to come forward itself. A window
// that does not answer (a copy of an older KOR, or hung) is shown in its
// normal state from here, without waiting for it.
void BringRunningCopyForward(HWND running, TAllowSetForeground allow = AllowSetForegroundWindow);

}  // namespace korvel
