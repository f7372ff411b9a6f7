// The one clipboard writer of the Windows programs (KOR and korvel.exe).
#pragma once

#include <windows.h>

#include <string>

namespace korvel {

// Puts the text on the clipboard as CF_TEXT, for `owner` (may be null).
// False when the clipboard could not be opened or the text not handed over.
bool PutTextOnClipboard(const std::string& text, HWND owner);

}  // namespace korvel
